#include "zobjectinspector.h"

#include <QColorDialog>
#include <QComboBox>
#include <QCompleter>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A text field in the grid's notation with a button that opens a chooser.
class ChooserEditor : public QWidget
{
public:
    explicit ChooserEditor(QWidget *parent)
        : QWidget(parent)
    {
        auto *h = new QHBoxLayout(this);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(0);
        Edit = new QLineEdit(this);
        Edit->setFrame(false);
        Button = new QToolButton(this);
        Button->setText(QStringLiteral("..."));
        Button->setFocusPolicy(Qt::NoFocus);
        h->addWidget(Edit, 1);
        h->addWidget(Button);
        setFocusProxy(Edit);
        setAutoFillBackground(true);
    }
    QLineEdit *Edit;
    QToolButton *Button;
};

TPropItem itemOfType(int type)
{
    TPropItem it;
    it.type = QMetaType(type);
    return it;
}

} // namespace

PropertyDelegate::PropertyDelegate(PropertyModel *model, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
{
}

int PropertyDelegate::sourceRow(const QModelIndex &index) const
{
    if (index.model() == m_model)
        return index.row();
    if (auto *proxy = qobject_cast<const QSortFilterProxyModel *>(index.model()))
        return proxy->mapToSource(index).row();
    return -1;
}

QWidget *PropertyDelegate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const int row = sourceRow(index);
    if (row < 0 || !m_model->isEditable(row))
        return nullptr;
    const TPropItem &it = m_model->item(row);
    if (PropertyModel::isEnum(it) && !PropertyModel::isFlag(it)) {
        auto *box = new QComboBox(parent);
        box->setObjectName(QStringLiteral("EnumEditor"));
        box->setFrame(false);
        const QMetaEnum e = it.Prop.enumerator();
        for (int i = 0; i < e.keyCount(); ++i)
            box->addItem(QString::fromLatin1(e.key(i)), e.value(i));
        connect(box, &QComboBox::activated, this,
            [this, box] { emit const_cast<PropertyDelegate *>(this)->commitData(box); });
        return box;
    }
    if (PropertyModel::isFlag(it)) {
        auto *edit = new QLineEdit(parent);
        edit->setObjectName(QStringLiteral("FlagsEditor"));
        edit->setFrame(false);
        const QMetaEnum e = it.Prop.enumerator();
        edit->setToolTip(QStringLiteral("Keys joined by |"));
        QStringList keys;
        for (int i = 0; i < e.keyCount(); ++i)
            keys.append(QString::fromLatin1(e.key(i)));
        edit->setPlaceholderText(keys.mid(0, 3).join(u'|'));
        return edit;
    }
    const int type = it.type.id();
    if (type == QMetaType::QColor || type == QMetaType::QFont) {
        auto *editor = new ChooserEditor(parent);
        editor->setObjectName(type == QMetaType::QColor ? QStringLiteral("ColorEditor") : QStringLiteral("FontEditor"));
        QPointer<ChooserEditor> guard(editor);
        connect(editor->Button, &QToolButton::clicked, this, [this, guard, type] {
            if (!guard)
                return;
            const QVariant current = PropertyModel::parseText(itemOfType(type), guard->Edit->text());
            QString chosen;
            if (type == QMetaType::QColor) {
                const QColor c = QColorDialog::getColor(current.value<QColor>(), guard, QString(),
                    QColorDialog::ShowAlphaChannel | QColorDialog::DontUseNativeDialog);
                if (c.isValid())
                    chosen = PropertyModel::valueText(itemOfType(type), c);
            } else {
                bool ok = false;
                const QFont f = QFontDialog::getFont(
                    &ok, current.value<QFont>(), guard, QString(), QFontDialog::DontUseNativeDialog);
                if (ok)
                    chosen = PropertyModel::valueText(itemOfType(type), f);
            }
            if (!guard || chosen.isEmpty())
                return;
            guard->Edit->setText(chosen);
            auto *self = const_cast<PropertyDelegate *>(this);
            emit self->commitData(guard);
            emit self->closeEditor(guard);
        });
        return editor;
    }
    if (PropertyModel::usesQtEditor(type))
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("TextEditor"));
    edit->setFrame(false);
    return edit;
}

void PropertyDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QVariant v = index.data(Qt::EditRole);
    if (auto *box = qobject_cast<QComboBox *>(editor); box && editor->objectName() == QLatin1String("EnumEditor")) {
        box->setCurrentIndex(box->findData(v.toInt()));
        return;
    }
    if (auto *chooser = dynamic_cast<ChooserEditor *>(editor)) {
        chooser->Edit->setText(v.toString());
        return;
    }
    if (editor->objectName() == QLatin1String("FlagsEditor") || editor->objectName() == QLatin1String("TextEditor")) {
        static_cast<QLineEdit *>(editor)->setText(v.toString());
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void PropertyDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    if (auto *box = qobject_cast<QComboBox *>(editor); box && editor->objectName() == QLatin1String("EnumEditor")) {
        model->setData(index, box->currentData(), Qt::EditRole);
        return;
    }
    if (auto *chooser = dynamic_cast<ChooserEditor *>(editor)) {
        model->setData(index, chooser->Edit->text(), Qt::EditRole);
        return;
    }
    if (editor->objectName() == QLatin1String("FlagsEditor") || editor->objectName() == QLatin1String("TextEditor")) {
        model->setData(index, static_cast<QLineEdit *>(editor)->text(), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

PropertyView::PropertyView(QWidget *parent)
    : QTreeView(parent)
{
    setIndentation(TzObjectInspector::kGutterWidth);
    setRootIsDecorated(true);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked
        | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    header()->hide();
    header()->setStretchLastSection(true);
    setMouseTracking(true);
}

void PropertyView::setSplitterPos(int x)
{
    setColumnWidth(PropertyModel::NameColumn, gutterWidth() + qMax(20, x));
}

void PropertyView::drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    painter->fillRect(rect, palette().button());
    if (currentIndex().isValid() && index.row() == currentIndex().row()) {
        // The current row's marker: a small triangle pointing at it.
        const int cy = rect.center().y();
        const int x = rect.left() + 3;
        const QPoint tri[3] = { { x, cy - 4 }, { x + 5, cy }, { x, cy + 4 } };
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(palette().buttonText());
        painter->drawPolygon(tri, 3);
        painter->restore();
    }
}

bool PropertyView::nearSplit(int x) const
{
    return qAbs(x - columnWidth(PropertyModel::NameColumn)) <= 3;
}

void PropertyView::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton && nearSplit(e->position().toPoint().x())) {
        m_dragging = true;
        return;
    }
    QTreeView::mousePressEvent(e);
}

void PropertyView::mouseMoveEvent(QMouseEvent *e)
{
    const int x = e->position().toPoint().x();
    if (m_dragging) {
        setSplitterPos(qBound(20, x - gutterWidth(), qMax(20, viewport()->width() - gutterWidth() - 20)));
        return;
    }
    if (e->buttons() == Qt::NoButton) {
        if (nearSplit(x))
            viewport()->setCursor(Qt::SplitHCursor);
        else
            viewport()->unsetCursor();
    }
    QTreeView::mouseMoveEvent(e);
}

void PropertyView::mouseReleaseEvent(QMouseEvent *e)
{
    if (m_dragging) {
        m_dragging = false;
        return;
    }
    QTreeView::mouseReleaseEvent(e);
}

TzObjectInspector::TzObjectInspector(QWidget *parent)
    : QWidget(parent)
    , m_model(new PropertyModel(this))
    , m_proxy(new QSortFilterProxyModel(this))
{
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    SearchEdit = new QLineEdit(this);
    SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
    SearchEdit->setPlaceholderText(QStringLiteral("Search"));
    SearchEdit->setClearButtonEnabled(true);
    auto *completer = new QCompleter(m_model, SearchEdit);
    completer->setCompletionColumn(PropertyModel::NameColumn);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    SearchEdit->setCompleter(completer);

    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterKeyColumn(PropertyModel::NameColumn);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    View = new PropertyView(this);
    View->setObjectName(QStringLiteral("PropertyView"));
    View->setModel(m_proxy);
    View->setItemDelegate(new PropertyDelegate(m_model, View));
    View->setSplitterPos(kSplitterPos);
    connect(SearchEdit, &QLineEdit::textChanged, m_proxy, &QSortFilterProxyModel::setFilterFixedString);
    // A click on a name makes its value current, where typing edits it.
    connect(View, &QTreeView::clicked, this, [this](const QModelIndex &index) {
        if (index.column() == PropertyModel::NameColumn)
            View->setCurrentIndex(index.siblingAtColumn(PropertyModel::ValueColumn));
    });

    v->addWidget(SearchEdit);
    v->addWidget(View, 1);
}

TzObjectInspector::~TzObjectInspector()
{
    // The grid may be inspecting itself or one of its parts: let go before they go.
    m_model->setComponent(nullptr);
}

void TzObjectInspector::setComponent(QObject *object)
{
    m_model->setComponent(object);
    View->setSplitterPos(View->splitterPos());
}

QModelIndex TzObjectInspector::valueIndex(const QByteArray &name) const
{
    const int row = m_model->rowOf(name);
    if (row < 0)
        return {};
    return m_proxy->mapFromSource(m_model->index(row, PropertyModel::ValueColumn));
}
