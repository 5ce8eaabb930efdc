#include "selectfiledlg.h"

#include "selectfileframe.h"
#include "windowframe.h"

#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

TSelectFileDlg::TSelectFileDlg(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("SelectFileDlg"));
    setWindowTitle(QStringLiteral("Select File"));
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    SelectFileFrame = new TSelectFileFrame(this);
    v->addWidget(SelectFileFrame);
    resize(374, 169);
    FormCreate();
}

void TSelectFileDlg::FormCreate()
{
    SelectFileFrame->OnSelectFile
        = [this](TSelectFileFrame *sender, const QString &fileName) { SelectFileFrameSelectFile(sender, fileName); };
}

void TSelectFileDlg::SelectFileFrameSelectFile(TSelectFileFrame *, const QString &fileName)
{
    FFileName = fileName;
    accept();
}

void TSelectFileDlg::SetOuterSize(const QSize &outer)
{
    m_outer = outer;
    applyOuterSize();
}

void TSelectFileDlg::applyOuterSize()
{
    m_outerExtra = WindowFrame::extra(this);
    resize((*m_outer - m_outerExtra).expandedTo(QSize(1, 1)));
}

void TSelectFileDlg::reapplyOuterSize()
{
    const QSize extra = frameGeometry().size() - size();
    if (m_outer && isVisible() && !extra.isEmpty() && extra != m_outerExtra)
        applyOuterSize();
}

void TSelectFileDlg::moveEvent(QMoveEvent *e)
{
    QDialog::moveEvent(e);
    reapplyOuterSize();
}

void TSelectFileDlg::resizeEvent(QResizeEvent *e)
{
    QDialog::resizeEvent(e);
    reapplyOuterSize();
}

void TSelectFileDlg::hideEvent(QHideEvent *e)
{
    QDialog::hideEvent(e);
    // Later showings keep the size the user left it at.
    m_outer.reset();
}

void TSelectFileDlg::showEvent(QShowEvent *e)
{
    if (m_outer) {
        applyOuterSize();
        // The window manager may frame the chooser after its last move or resize: look for
        // the frame for a moment too.
        for (int ms = 50; ms <= 2000; ms += 50)
            QTimer::singleShot(ms, this, [this] { reapplyOuterSize(); });
    }
    if (QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr) {
        // Not yet framed, the chooser's outer size is what the frame will make of it.
        const QRect outer(pos(), size() + WindowFrame::extra(this));
        QPoint at = owner->frameGeometry().center() - QPoint(outer.width() / 2, outer.height() / 2);
        // Centred on a small window near a screen edge the chooser would reach past it and
        // hide its filter edit: keep it on the owner's screen.
        if (const QScreen *screen = owner->screen()) {
            const QRect work = screen->availableGeometry();
            at.setX(std::max(work.left(), std::min(at.x(), work.right() + 1 - outer.width())));
            at.setY(std::max(work.top(), std::min(at.y(), work.bottom() + 1 - outer.height())));
        }
        move(at);
    }
    QDialog::showEvent(e);
}
