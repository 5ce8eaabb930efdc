#include "oiform.h"

#include "windowreticle.h"
#include "zobjectinspector.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QSplitter>
#include <QVBoxLayout>

namespace {
// A list entry that carries its object without keeping it alive.
class ObjectItem : public QListWidgetItem
{
public:
    ObjectItem(QObject *o, QListWidget *list)
        : QListWidgetItem(TOIForm::NameOf(o), list)
        , object(o)
        , key(o)
    {
    }
    QPointer<QObject> object;
    const QObject *key;
};
} // namespace

TOIForm::TOIForm(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("OIForm"));
    setWindowTitle(QStringLiteral("Object Inspector"));
    resize(445, 442);

    auto *h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);

    LeftPanel = new QWidget(this);
    LeftPanel->setObjectName(QStringLiteral("LeftPanel"));
    LeftPanel->setFixedWidth(185);
    auto *left = new QVBoxLayout(LeftPanel);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);

    TopLeftPanel = new QWidget(LeftPanel);
    TopLeftPanel->setObjectName(QStringLiteral("TopLeftPanel"));
    TopLeftPanel->setFixedHeight(80);
    WindowReticle = new TWindowReticle(TopLeftPanel);
    WindowReticle->setObjectName(QStringLiteral("WindowReticle"));
    WindowReticle->move(8, 8);
    IncludeEventsCheckBox = new QCheckBox(QStringLiteral("Include Events"), TopLeftPanel);
    IncludeEventsCheckBox->setObjectName(QStringLiteral("IncludeEventsCheckBox"));
    IncludeEventsCheckBox->adjustSize();
    IncludeEventsCheckBox->move(8, 50);

    BottomLeftPanel = new QWidget(LeftPanel);
    BottomLeftPanel->setObjectName(QStringLiteral("BottomLeftPanel"));
    auto *bottom = new QVBoxLayout(BottomLeftPanel);
    bottom->setContentsMargins(0, 0, 0, 0);
    Splitter = new QSplitter(Qt::Vertical, BottomLeftPanel);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->setHandleWidth(3);
    Splitter->setChildrenCollapsible(false);
    ListBox1 = new QListWidget(Splitter);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox2 = new QListWidget(Splitter);
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    Splitter->addWidget(ListBox1);
    Splitter->addWidget(ListBox2);
    Splitter->setStretchFactor(0, 1);
    Splitter->setStretchFactor(1, 0);
    Splitter->setSizes({ 442 - 80 - 3 - 255, 255 });
    bottom->addWidget(Splitter);

    left->addWidget(TopLeftPanel);
    left->addWidget(BottomLeftPanel, 1);

    zObjectInspector = new TzObjectInspector(this);
    zObjectInspector->setObjectName(QStringLiteral("zObjectInspector"));
    zObjectInspector->setOnBeforeAddItem([this](const TPropItem &item) { return zObjectInspectorBeforeAddItem(item); });
    // Read-only until the window first comes up.
    zObjectInspector->setReadOnly(true);

    h->addWidget(LeftPanel);
    h->addWidget(zObjectInspector, 1);

    connect(IncludeEventsCheckBox, &QCheckBox::toggled, this, &TOIForm::IncludeEventsCheckBoxClick);
    connect(WindowReticle, &TWindowReticle::OnDropSelect, this, &TOIForm::WindowReticleDropSelect);
    // A click, or a move of the selection by keyboard, chooses an entry.
    connect(ListBox1, &QListWidget::itemClicked, this, &TOIForm::ListBox1Click);
    connect(ListBox2, &QListWidget::itemClicked, this, &TOIForm::ListBox2Click);
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this] {
        if (!m_updating)
            ListBox1Click();
    });
    connect(ListBox2, &QListWidget::currentRowChanged, this, [this] {
        if (!m_updating)
            ListBox2Click();
    });

    zObjectInspector->setComponent(zObjectInspector);
}

TOIForm::~TOIForm()
{
    m_closing = true;
    // This window and its own children may be among the objects it watches: their
    // "destroyed" comes while this window is already half gone, and must not reach it.
    disconnect(this, &QObject::destroyed, this, nullptr);
    for (QObject *child : findChildren<QObject *>())
        disconnect(child, &QObject::destroyed, this, nullptr);
}

QString TOIForm::NameOf(const QObject *object)
{
    if (!object)
        return {};
    if (!object->objectName().isEmpty())
        return object->objectName();
    return QStringLiteral("(%1)").arg(QString::fromLatin1(object->metaObject()->className()));
}

QObject *TOIForm::ObjectOf(const QListWidgetItem *item)
{
    const auto *entry = dynamic_cast<const ObjectItem *>(item);
    return entry ? entry->object.data() : nullptr;
}

void TOIForm::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && !m_activated) {
        m_activated = true;
        FormActivate();
    }
}

void TOIForm::FormActivate()
{
    zObjectInspector->setReadOnly(false);
    FIncludeEvent = false;
    IncludeEventsCheckBox->setChecked(false);
}

void TOIForm::IncludeEventsCheckBoxClick()
{
    // Applies from the next object put into the grid.
    FIncludeEvent = IncludeEventsCheckBox->isChecked();
}

bool TOIForm::zObjectInspectorBeforeAddItem(const TPropItem &item) const
{
    return FIncludeEvent || !item.IsEvent();
}

void TOIForm::addEntry(QListWidget *list, QObject *object)
{
    new ObjectItem(object, list);
    connect(object, &QObject::destroyed, this, &TOIForm::objectGone, Qt::UniqueConnection);
}

void TOIForm::objectGone(QObject *object)
{
    if (m_closing)
        return;
    m_updating = true;
    for (QListWidget *list : { ListBox1, ListBox2 }) {
        bool chosenGone = false;
        for (int i = list->count() - 1; i >= 0; --i) {
            const auto *entry = static_cast<ObjectItem *>(list->item(i));
            if (entry->key == object || !entry->object) {
                chosenGone = chosenGone || list->currentRow() == i;
                delete list->takeItem(i);
            }
        }
        // No other entry takes the place of the chosen one.
        if (chosenGone) {
            list->clearSelection();
            list->setCurrentRow(-1);
        }
    }
    m_updating = false;
}

void TOIForm::WindowReticleDropSelect()
{
    m_updating = true;
    ListBox1->clear();
    QObject *o = TWindowReticle::FindControl(WindowReticle->WindowHandle());
    for (; o; o = o->parent())
        addEntry(ListBox1, o);
    m_updating = false;
}

void TOIForm::ListBox1Click()
{
    m_updating = true;
    ListBox2->clear();
    m_updating = false;
    if (ListBox1->count() == 0)
        return;
    QObject *o = ObjectOf(ListBox1->currentItem());
    if (!o)
        return;
    zObjectInspector->setComponent(o);
    m_updating = true;
    for (QObject *child : o->children())
        addEntry(ListBox2, child);
    m_updating = false;
}

void TOIForm::ListBox2Click()
{
    if (ListBox2->count() == 0)
        return;
    if (QObject *o = ObjectOf(ListBox2->currentItem()))
        zObjectInspector->setComponent(o);
}
