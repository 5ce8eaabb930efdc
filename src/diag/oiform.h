#pragma once

#include <QWidget>

class QCheckBox;
class QListWidget;
class QListWidgetItem;
class QSplitter;
class TWindowReticle;
class TzObjectInspector;
struct TPropItem;

// The object inspector window: drag the target onto any control of the program to list it
// with its chain of parents (ListBox1); choosing one of them puts it into the property grid
// and lists the objects it owns (ListBox2); choosing one of those inspects it in turn. List
// entries and the grid let go of an object the moment it is destroyed.
class TOIForm : public QWidget
{
    Q_OBJECT
public:
    explicit TOIForm(QWidget *parent = nullptr);
    ~TOIForm() override;

    QWidget *LeftPanel;
    QWidget *TopLeftPanel;
    TWindowReticle *WindowReticle;
    QCheckBox *IncludeEventsCheckBox;
    QWidget *BottomLeftPanel;
    QListWidget *ListBox1;
    QSplitter *Splitter;
    QListWidget *ListBox2;
    TzObjectInspector *zObjectInspector;
    bool FIncludeEvent = false;

    void FormActivate();
    void IncludeEventsCheckBoxClick();
    void ListBox1Click();
    void ListBox2Click();
    void WindowReticleDropSelect();
    bool zObjectInspectorBeforeAddItem(const TPropItem &item) const;

    // How a list shows an object: its name, or its class in parentheses when it has none.
    static QString NameOf(const QObject *object);
    // The object an entry carries; none once it has been destroyed.
    static QObject *ObjectOf(const QListWidgetItem *item);

protected:
    void changeEvent(QEvent *e) override;

private:
    void addEntry(QListWidget *list, QObject *object);
    void objectGone(QObject *object);

    bool m_activated = false;
    bool m_updating = false;
    bool m_closing = false;
};
