#pragma once

#include <QListWidget>

#include <functional>

class TPopupMenu;

// The host list box: extended selection, a focused entry that need not be selected, and the
// keys and clicks of the host list. Ctrl+A and Ctrl+C are consumed here; the list view's own
// handling never sees them.
class THostListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit THostListBox(QWidget *parent = nullptr);

    std::function<void()> OnDeleteKey;
    std::function<void()> OnSelectAllKey;
    std::function<void()> OnCopyKey;
    std::function<void()> OnDblClick;
    TPopupMenu *PopupMenu = nullptr;

    int ItemIndex() const { return currentRow(); }
    void SetItemIndex(int index);
    QStringList Entries() const;
    void SetEntries(const QStringList &entries);
    QList<int> SelectedIndexes() const;

    // The character drawn in place of c so that an entry stays on one line: the line and
    // paragraph separators (and a stray CR or LF) get visible stand-ins, every other
    // character is itself.
    static QChar standIn(QChar c);
    // An entry as the list draws it; the entry itself is never changed.
    static QString shownText(const QString &entry);

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;

private:
    void focusEntryAt(const QPoint &pos);
    // Where a menu opened from the keyboard shows: on the focused entry when it is in view.
    QPoint keyboardMenuPos() const;
};
