#include "hostlistbox.h"

#include "popupmenu.h"
#include "skylarkerror.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace {
// Draws every entry on one line, whatever separators it holds.
class OneLineDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant &value, const QLocale &) const override
    {
        return THostListBox::shownText(value.toString());
    }
};
} // namespace

THostListBox::THostListBox(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setItemDelegate(new OneLineDelegate(this));
}

QChar THostListBox::standIn(QChar c)
{
    switch (c.unicode()) {
    case u'\n':
    case u'\r':
    case QChar::LineSeparator:
        return QChar(0x21B5); // downwards arrow with corner leftwards
    case QChar::ParagraphSeparator:
        return QChar(0x00B6); // pilcrow
    case 0xFDD0: // the text engine's frame marks
    case 0xFDD1:
        return QChar(QChar::ReplacementCharacter);
    default:
        return c;
    }
}

QString THostListBox::shownText(const QString &entry)
{
    QString out = entry;
    for (QChar &c : out)
        c = standIn(c);
    return out;
}

void THostListBox::SetItemIndex(int index)
{
    setCurrentRow(index, QItemSelectionModel::NoUpdate);
}

QStringList THostListBox::Entries() const
{
    QStringList out;
    out.reserve(count());
    for (int i = 0; i < count(); ++i)
        out.append(item(i)->text());
    return out;
}

void THostListBox::SetEntries(const QStringList &entries)
{
    setUpdatesEnabled(false);
    clear();
    addItems(entries);
    setUpdatesEnabled(true);
}

QList<int> THostListBox::SelectedIndexes() const
{
    QList<int> rows;
    for (const QModelIndex &i : selectionModel()->selectedIndexes())
        rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void THostListBox::keyPressEvent(QKeyEvent *e)
{
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    if (ctrl && e->key() == Qt::Key_A) {
        if (OnSelectAllKey)
            runGuarded(OnSelectAllKey);
        e->accept();
        return;
    }
    if (ctrl && e->key() == Qt::Key_C) {
        if (OnCopyKey)
            runGuarded(OnCopyKey);
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_Delete && OnDeleteKey)
        runGuarded(OnDeleteKey);
    if (TPopupMenu::isContextMenuKey(e) && PopupMenu) {
        e->accept();
        PopupMenu->popupFor(this, keyboardMenuPos(), true);
        return;
    }
    QListWidget::keyPressEvent(e);
}

QPoint THostListBox::keyboardMenuPos() const
{
    const QListWidgetItem *entry = currentItem();
    const QRect r = entry ? visualItemRect(entry) : QRect();
    if (r.isValid() && viewport()->rect().contains(r.center()))
        return viewport()->mapToGlobal(r.center());
    return viewport()->mapToGlobal(QPoint(0, 0));
}

void THostListBox::focusEntryAt(const QPoint &pos)
{
    const QModelIndex at = indexAt(pos);
    if (at.isValid())
        SetItemIndex(at.row());
    if (selectionModel()->selectedIndexes().isEmpty() && currentRow() >= 0)
        item(currentRow())->setSelected(true);
}

void THostListBox::mousePressEvent(QMouseEvent *e)
{
    // The list's own handling of a left press comes first; a right press leaves the
    // selection alone, so the popup acts on what was selected.
    if (e->button() == Qt::LeftButton)
        QListWidget::mousePressEvent(e);
    focusEntryAt(e->position().toPoint());
}

void THostListBox::mouseDoubleClickEvent(QMouseEvent *e)
{
    QListWidget::mouseDoubleClickEvent(e);
    if (e->button() == Qt::LeftButton && OnDblClick)
        runGuarded(OnDblClick);
}

void THostListBox::contextMenuEvent(QContextMenuEvent *e)
{
    // The Menu key's event carries the pointer's position; the menu belongs at the entry.
    if (PopupMenu)
        PopupMenu->popupFor(this, e->reason() == QContextMenuEvent::Keyboard ? keyboardMenuPos() : e->globalPos(),
            e->reason() == QContextMenuEvent::Keyboard);
}
