#include "selectfileframe.h"

#include "chooserrules.h"

#include <QDir>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <algorithm>

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
    FileListBox->installEventFilter(this);
    FilterEdit->installEventFilter(this);

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
    // The entry that Enter would pick shows from the start.
    if (!names.isEmpty())
        FileListBox->setCurrentRow(0);
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

bool TSelectFileFrame::FileListBoxKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    modifiers &= ~Qt::KeypadModifier;
    if ((key == Qt::Key_Up || key == Qt::Key_Down) && modifiers == Qt::NoModifier) {
        const int count = FileListBox->count();
        if (count == 0)
            return true;
        const int row = FileListBox->currentRow();
        const int next = row < 0 ? (key == Qt::Key_Down ? 0 : count - 1) : row + (key == Qt::Key_Down ? 1 : -1);
        FileListBox->setCurrentRow(std::clamp(next, 0, count - 1));
        return true;
    }
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    // As a left press: Shift picks nothing, and so does a list without a current entry.
    QListWidgetItem *item = FileListBox->currentItem();
    if (modifiers == Qt::NoModifier && item && OnSelectFile)
        OnSelectFile(this, QLatin1String(ChooserRules::kLoadPrefix) + FFileListPath + item->text());
    return true;
}

bool TSelectFileFrame::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == FileListBox || watched == FilterEdit) && event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        if (FileListBoxKeyDown(ke->key(), ke->modifiers()))
            return true;
    }
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
