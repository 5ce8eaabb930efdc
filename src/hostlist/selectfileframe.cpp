#include "selectfileframe.h"

#include "chooserrules.h"

#include <QDir>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QVBoxLayout>

TSelectFileFrame::TSelectFileFrame(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("SelectFileFrame"));
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);

    FilterEdit = new QLineEdit(this);
    FilterEdit->setObjectName(QStringLiteral("FilterEdit"));
    FilterEdit->setAlignment(Qt::AlignCenter);
    FilterEdit->setPlaceholderText(QStringLiteral("Filter"));

    FileListBox = new QListWidget(this);
    FileListBox->setObjectName(QStringLiteral("FileListBox"));
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(12);
    FileListBox->setFont(font);
    FileListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    FileListBox->setFrameShape(QFrame::NoFrame);
    // Entries run down a column, then down the next; the columns always fit the width.
    FileListBox->setFlow(QListView::TopToBottom);
    FileListBox->setWrapping(true);
    FileListBox->setUniformItemSizes(true);
    FileListBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FileListBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FileListBox->setGridSize(QSize(1, kItemHeight));
    FileListBox->viewport()->installEventFilter(this);

    v->addWidget(FilterEdit);
    v->addWidget(FileListBox, 1);

    connect(FilterEdit, &QLineEdit::textChanged, this, &TSelectFileFrame::FilterEditChange);
}

QStringList TSelectFileFrame::matchingEntries() const
{
    if (FFileListPath.isEmpty() && FFileListMask.isEmpty())
        return {};
    // Path and mask are one text, as the folder's own listing takes them: a mask may bring
    // a folder part of its own.
    const QString pattern = FFileListPath + FFileListMask;
    const qsizetype slash = pattern.lastIndexOf(u'/');
    const QString dir = slash >= 0 ? pattern.left(slash + 1) : QStringLiteral("./");
    const QString mask = pattern.mid(slash + 1);
    if (mask.isEmpty())
        return {};
    QDir d(dir);
    return d.entryList({ mask }, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
}

void TSelectFileFrame::fill(const QStringList &names)
{
    FileListBox->clear();
    FileListBox->addItems(names);
    FrameResize();
}

void TSelectFileFrame::LoadFileList()
{
    fill(matchingEntries());
}

void TSelectFileFrame::FilterEditChange()
{
    fill(ChooserRules::applyFilter(matchingEntries(), FilterEdit->text()));
}

void TSelectFileFrame::FrameResize()
{
    const QWidget *vp = FileListBox->viewport();
    const ChooserRules::Columns c = ChooserRules::columns(FileListBox->count(), vp->height(), kItemHeight, vp->width());
    m_rowsPerColumn = c.rowsPerColumn;
    m_columnCount = c.columnCount;
    if (FileListBox->gridSize() != QSize(c.columnWidth, kItemHeight))
        FileListBox->setGridSize(QSize(c.columnWidth, kItemHeight));
}

void TSelectFileFrame::FileListBoxMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos)
{
    if (modifiers & Qt::ShiftModifier)
        return;
    if (button != Qt::LeftButton && button != Qt::RightButton)
        return;
    // A press beside the entries picks nothing.
    QListWidgetItem *item = FileListBox->itemAt(pos);
    if (!item)
        return;
    FileListBox->setCurrentItem(item);
    if (!OnSelectFile)
        return;
    const auto prefix = button == Qt::LeftButton ? ChooserRules::kLoadPrefix : ChooserRules::kEditPrefix;
    OnSelectFile(this, QLatin1String(prefix) + FFileListPath + item->text());
}

bool TSelectFileFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == FileListBox->viewport()) {
        if (event->type() == QEvent::Resize) {
            FrameResize();
        } else if (event->type() == QEvent::MouseButtonPress) {
            auto *me = static_cast<QMouseEvent *>(event);
            if (!(me->modifiers() & Qt::ShiftModifier) && FileListBox->itemAt(me->position().toPoint())) {
                FileListBoxMouseDown(me->button(), me->modifiers(), me->position().toPoint());
                return true;
            }
        }
    }
    return QFrame::eventFilter(watched, event);
}
