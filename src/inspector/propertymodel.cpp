#include "propertymodel.h"

#include "settingsrules.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QCursor>
#include <QDateTime>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QHash>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRect>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QSizePolicy>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Classes whose fresh instance tells the default values of their properties. An object of
// another class takes the defaults of the nearest of these among its base classes, for the
// properties that class declares; properties of our own classes have no known default.
using Maker = QObject *(*)();
template <typename T> QObject *make()
{
    return new T;
}

struct Prototype
{
    const QMetaObject *meta;
    Maker maker;
    bool widget;
};

const std::vector<Prototype> &prototypes()
{
    static const std::vector<Prototype> list = {
        { &QObject::staticMetaObject, make<QObject>, false },
        { &QTimer::staticMetaObject, make<QTimer>, false },
        { &QAction::staticMetaObject, make<QAction>, true },
        { &QWidget::staticMetaObject, make<QWidget>, true },
        { &QFrame::staticMetaObject, make<QFrame>, true },
        { &QLabel::staticMetaObject, make<QLabel>, true },
        { &QLineEdit::staticMetaObject, make<QLineEdit>, true },
        { &QPushButton::staticMetaObject, make<QPushButton>, true },
        { &QToolButton::staticMetaObject, make<QToolButton>, true },
        { &QCheckBox::staticMetaObject, make<QCheckBox>, true },
        { &QRadioButton::staticMetaObject, make<QRadioButton>, true },
        { &QSpinBox::staticMetaObject, make<QSpinBox>, true },
        { &QDoubleSpinBox::staticMetaObject, make<QDoubleSpinBox>, true },
        { &QComboBox::staticMetaObject, make<QComboBox>, true },
        { &QListView::staticMetaObject, make<QListView>, true },
        { &QListWidget::staticMetaObject, make<QListWidget>, true },
        { &QTreeView::staticMetaObject, make<QTreeView>, true },
        { &QTableView::staticMetaObject, make<QTableView>, true },
        { &QPlainTextEdit::staticMetaObject, make<QPlainTextEdit>, true },
        { &QTextEdit::staticMetaObject, make<QTextEdit>, true },
        { &QSplitter::staticMetaObject, make<QSplitter>, true },
        { &QMenu::staticMetaObject, make<QMenu>, true },
        { &QMenuBar::staticMetaObject, make<QMenuBar>, true },
        { &QMainWindow::staticMetaObject, make<QMainWindow>, true },
        { &QDialog::staticMetaObject, make<QDialog>, true },
        { &QGroupBox::staticMetaObject, make<QGroupBox>, true },
        { &QSlider::staticMetaObject, make<QSlider>, true },
        { &QProgressBar::staticMetaObject, make<QProgressBar>, true },
        { &QScrollArea::staticMetaObject, make<QScrollArea>, true },
        { &QTabWidget::staticMetaObject, make<QTabWidget>, true },
        { &QStatusBar::staticMetaObject, make<QStatusBar>, true },
    };
    return list;
}

// Property name -> value of a fresh object of the nearest known class (empty when none).
const QVariantHash &defaultsFor(const QMetaObject *meta)
{
    static QHash<const QMetaObject *, QVariantHash> cache;
    auto found = cache.constFind(meta);
    if (found != cache.constEnd())
        return *found;
    QVariantHash values;
    const bool haveWidgets = qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
    for (const QMetaObject *m = meta; m && values.isEmpty(); m = m->superClass()) {
        for (const Prototype &p : prototypes()) {
            if (p.meta != m || (p.widget && !haveWidgets))
                continue;
            std::unique_ptr<QObject> fresh(p.maker());
            const QMetaObject *fm = fresh->metaObject();
            for (int i = 0; i < fm->propertyCount(); ++i) {
                const QMetaProperty prop = fm->property(i);
                if (prop.isReadable())
                    values.insert(QString::fromLatin1(prop.name()), prop.read(fresh.get()));
            }
            break;
        }
    }
    return *cache.insert(meta, values);
}

bool isEditableType(const TPropItem &item)
{
    if (PropertyModel::isEnum(item))
        return true;
    switch (item.type.id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QUrl:
    case QMetaType::QColor:
    case QMetaType::QFont:
    case QMetaType::QSize:
    case QMetaType::QSizeF:
    case QMetaType::QPoint:
    case QMetaType::QPointF:
    case QMetaType::QRect:
    case QMetaType::QRectF:
    case QMetaType::QKeySequence:
    case QMetaType::QDate:
    case QMetaType::QTime:
    case QMetaType::QDateTime:
        return true;
    default:
        return false;
    }
}

QVariant makeEnum(QMetaType type, qint64 n)
{
    QVariant v(type);
    void *d = v.data();
    switch (type.sizeOf()) {
    case 1:
        *static_cast<qint8 *>(d) = static_cast<qint8>(n);
        break;
    case 2:
        *static_cast<qint16 *>(d) = static_cast<qint16>(n);
        break;
    case 4:
        *static_cast<qint32 *>(d) = static_cast<qint32>(n);
        break;
    case 8:
        *static_cast<qint64 *>(d) = n;
        break;
    default:
        return {};
    }
    return v;
}

QMetaEnum enumeratorOf(const TPropItem &item)
{
    return item.kind == TPropItem::Kind::Property ? item.Prop.enumerator() : QMetaEnum();
}

// "1, 2" or "1, 2, 3, 4": the numbers of a point, size or rectangle; empty when malformed.
QList<double> numbers(const QString &text, int count)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != count)
        return {};
    QList<double> out;
    for (const QString &p : parts) {
        bool ok = false;
        const double d = p.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(d))
            return {};
        out.append(d);
    }
    return out;
}

bool fitsInt(double d)
{
    return d == std::floor(d) && d >= std::numeric_limits<int>::min() && d <= std::numeric_limits<int>::max();
}

// The keys of a flags value, each bit by the first key declared for it (AlignLeft rather
// than its alias AlignLeading).
QString flagsText(const QMetaEnum &e, qint64 value)
{
    QStringList keys;
    qint64 left = value;
    for (int i = 0; i < e.keyCount(); ++i) {
        const qint64 k = static_cast<uint>(e.value(i));
        if (k == 0) {
            if (value == 0)
                return QString::fromLatin1(e.key(i));
            continue;
        }
        if ((left & k) == k) {
            keys.append(QString::fromLatin1(e.key(i)));
            left &= ~k;
        }
    }
    if (left)
        keys.append(QString::number(left));
    return keys.join(u'|');
}

QString objectText(QObject *o)
{
    if (!o)
        return QStringLiteral("(none)");
    const QString cls = QString::fromLatin1(o->metaObject()->className());
    return o->objectName().isEmpty() ? QStringLiteral("(%1)").arg(cls)
                                     : QStringLiteral("%1: %2").arg(o->objectName(), cls);
}

QString fontText(const QFont &f)
{
    QString s = f.family() + QStringLiteral(", ");
    s += f.pointSizeF() > 0 ? PropertyModel::formatFloat(f.pointSizeF()) + QStringLiteral("pt")
                            : QString::number(f.pixelSize()) + QStringLiteral("px");
    if (f.bold())
        s += QStringLiteral(", bold");
    if (f.italic())
        s += QStringLiteral(", italic");
    return s;
}

QVariant parseFont(const QString &text)
{
    const QStringList parts = text.split(u',');
    QFont f;
    const QString family = parts.value(0).trimmed();
    if (family.isEmpty())
        return {};
    f.setFamily(family);
    for (qsizetype i = 1; i < parts.size(); ++i) {
        QString p = parts[i].trimmed().toLower();
        if (p == QLatin1String("bold"))
            f.setBold(true);
        else if (p == QLatin1String("italic"))
            f.setItalic(true);
        else if (p.endsWith(QLatin1String("px"))) {
            bool ok = false;
            const int px = p.chopped(2).trimmed().toInt(&ok);
            if (!ok || px <= 0)
                return {};
            f.setPixelSize(px);
        } else {
            if (p.endsWith(QLatin1String("pt")))
                p.chop(2);
            bool ok = false;
            const double pt = p.trimmed().toDouble(&ok);
            if (!ok || !(pt > 0) || pt > 10000)
                return {};
            f.setPointSizeF(pt);
        }
    }
    return f;
}

} // namespace

PropertyModel::PropertyModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void PropertyModel::setComponent(QObject *object)
{
    beginResetModel();
    if (m_object)
        disconnect(m_object, nullptr, this, nullptr);
    m_object = object;
    rebuild();
    endResetModel();
}

void PropertyModel::setReadOnly(bool on)
{
    if (m_readOnly == on)
        return;
    m_readOnly = on;
    if (!m_items.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void PropertyModel::rebuild()
{
    m_items.clear();
    QObject *obj = m_object;
    if (!obj)
        return;
    const QMetaObject *mo = obj->metaObject();
    const QVariantHash &defaults = defaultsFor(mo);
    std::vector<TPropItem> all;
    for (int i = 0; i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        if (!p.isReadable())
            continue;
        TPropItem it;
        it.kind = TPropItem::Kind::Property;
        it.name = p.name();
        it.Prop = p;
        it.type = p.metaType();
        it.declaredBy = p.enclosingMetaObject() ? p.enclosingMetaObject()->className() : nullptr;
        const auto d = defaults.constFind(QString::fromLatin1(p.name()));
        if (d != defaults.constEnd() && it.type.isEqualityComparable() && d->metaType() == it.type) {
            it.hasDefault = true;
            it.defaultValue = *d;
        }
        all.push_back(it);
    }
    for (const QByteArray &name : obj->dynamicPropertyNames()) {
        if (name.startsWith("_q_"))
            continue;
        TPropItem it;
        it.kind = TPropItem::Kind::Dynamic;
        it.name = name;
        it.type = obj->property(name.constData()).metaType();
        all.push_back(it);
    }
    QList<QByteArray> signalNames;
    for (int i = 0; i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        if (m.methodType() != QMetaMethod::Signal || signalNames.contains(m.name()))
            continue;
        signalNames.append(m.name());
        TPropItem it;
        it.kind = TPropItem::Kind::Event;
        it.name = m.name();
        it.Method = m;
        it.declaredBy = m.enclosingMetaObject() ? m.enclosingMetaObject()->className() : nullptr;
        all.push_back(it);
    }
    std::stable_sort(all.begin(), all.end(), [](const TPropItem &a, const TPropItem &b) {
        return QString::compare(QString::fromLatin1(a.name), QString::fromLatin1(b.name), Qt::CaseInsensitive) < 0;
    });
    for (TPropItem &it : all)
        if (!OnBeforeAddItem || OnBeforeAddItem(it))
            m_items.push_back(std::move(it));

    const QMetaMethod changed = metaObject()->method(metaObject()->indexOfSlot("objectChanged()"));
    for (const TPropItem &it : m_items)
        if (it.kind == TPropItem::Kind::Property && it.Prop.hasNotifySignal())
            connect(obj, it.Prop.notifySignal(), this, changed, Qt::UniqueConnection);
    connect(obj, &QObject::destroyed, this, &PropertyModel::objectDestroyed);
}

void PropertyModel::objectDestroyed()
{
    // The object is half gone: drop the rows without reading anything from it.
    beginResetModel();
    m_object = nullptr;
    m_items.clear();
    endResetModel();
}

void PropertyModel::objectChanged()
{
    if (!m_items.empty())
        emit dataChanged(index(0, ValueColumn), index(rowCount() - 1, ValueColumn));
}

int PropertyModel::rowOf(const QByteArray &name) const
{
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].name == name)
            return static_cast<int>(i);
    return -1;
}

QVariant PropertyModel::value(int row) const
{
    if (!m_object || row < 0 || row >= rowCount())
        return {};
    const TPropItem &it = item(row);
    switch (it.kind) {
    case TPropItem::Kind::Property:
        return it.Prop.read(m_object);
    case TPropItem::Kind::Dynamic:
        return m_object->property(it.name.constData());
    case TPropItem::Kind::Event:
        break;
    }
    return {};
}

QString PropertyModel::text(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    return valueText(item(row), value(row));
}

bool PropertyModel::isEnum(const TPropItem &item)
{
    return item.kind == TPropItem::Kind::Property && item.Prop.isEnumType() && item.Prop.enumerator().isValid();
}

bool PropertyModel::isFlag(const TPropItem &item)
{
    return isEnum(item) && item.Prop.enumerator().isFlag();
}

qint64 PropertyModel::enumValue(const QVariant &v)
{
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    if (ok)
        return n;
    const void *d = v.constData();
    switch (v.metaType().sizeOf()) {
    case 1:
        return *static_cast<const qint8 *>(d);
    case 2:
        return *static_cast<const qint16 *>(d);
    case 4:
        return *static_cast<const qint32 *>(d);
    case 8:
        return *static_cast<const qint64 *>(d);
    default:
        return 0;
    }
}

QString PropertyModel::formatFloat(double v)
{
    if (!std::isfinite(v))
        return QString::number(v);
    const double a = std::fabs(v);
    // Two digits after the point; very large or very small values in exponent form.
    if (a != 0 && (a < 0.005 || a >= 1e15))
        return QString::number(v, 'g', 6);
    QString s = QString::number(v, 'f', 2);
    if (s.contains(u'.')) {
        while (s.endsWith(u'0'))
            s.chop(1);
        if (s.endsWith(u'.'))
            s.chop(1);
    }
    return s == QLatin1String("-0") ? QStringLiteral("0") : s;
}

QString PropertyModel::valueText(const TPropItem &item, const QVariant &v)
{
    if (item.kind == TPropItem::Kind::Event) {
        QStringList params;
        const QList<QByteArray> types = item.Method.parameterTypes();
        const QList<QByteArray> names = item.Method.parameterNames();
        for (qsizetype i = 0; i < types.size(); ++i)
            params.append(QString::fromLatin1(types[i] + (names.value(i).isEmpty() ? QByteArray() : " " + names[i])));
        return QStringLiteral("(%1)").arg(params.join(QStringLiteral(", ")));
    }
    if (!v.isValid())
        return {};
    if (isEnum(item)) {
        const QMetaEnum e = enumeratorOf(item);
        const qint64 n = enumValue(v);
        if (e.isFlag())
            return flagsText(e, n);
        const char *key = e.valueToKey(static_cast<int>(n));
        return key ? QString::fromLatin1(key) : QString::number(n);
    }
    if (v.metaType().flags() & QMetaType::PointerToQObject)
        return objectText(v.value<QObject *>());
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float:
        return formatFloat(v.toDouble());
    case QMetaType::QString: {
        QString s = v.toString();
        s.replace(u'\n', QChar(0x21B5));
        return s;
    }
    case QMetaType::QByteArray:
        return QString::fromUtf8(v.toByteArray());
    case QMetaType::QColor: {
        const QColor c = v.value<QColor>();
        if (!c.isValid())
            return QStringLiteral("(none)");
        return c.name(c.alpha() == 255 ? QColor::HexRgb : QColor::HexArgb);
    }
    case QMetaType::QFont:
        return fontText(v.value<QFont>());
    case QMetaType::QSize: {
        const QSize s = v.toSize();
        return QStringLiteral("%1, %2").arg(s.width()).arg(s.height());
    }
    case QMetaType::QSizeF: {
        const QSizeF s = v.toSizeF();
        return formatFloat(s.width()) + QStringLiteral(", ") + formatFloat(s.height());
    }
    case QMetaType::QPoint: {
        const QPoint p = v.toPoint();
        return QStringLiteral("%1, %2").arg(p.x()).arg(p.y());
    }
    case QMetaType::QPointF: {
        const QPointF p = v.toPointF();
        return formatFloat(p.x()) + QStringLiteral(", ") + formatFloat(p.y());
    }
    case QMetaType::QRect: {
        const QRect r = v.toRect();
        return QStringLiteral("%1, %2, %3, %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }
    case QMetaType::QRectF: {
        const QRectF r = v.toRectF();
        return QStringList { formatFloat(r.x()), formatFloat(r.y()), formatFloat(r.width()), formatFloat(r.height()) }
            .join(QStringLiteral(", "));
    }
    case QMetaType::QSizePolicy: {
        const QSizePolicy p = v.value<QSizePolicy>();
        const QMetaEnum e = QMetaEnum::fromType<QSizePolicy::Policy>();
        return QString::fromLatin1(e.valueToKey(p.horizontalPolicy())) + QStringLiteral(", ")
            + QString::fromLatin1(e.valueToKey(p.verticalPolicy()));
    }
    case QMetaType::QKeySequence:
        return v.value<QKeySequence>().toString(QKeySequence::NativeText);
    case QMetaType::QStringList:
        return v.toStringList().join(QStringLiteral(", "));
    case QMetaType::QLocale:
        return v.toLocale().name();
    case QMetaType::QCursor:
        return QString::fromLatin1(QMetaEnum::fromType<Qt::CursorShape>().valueToKey(v.value<QCursor>().shape()));
    case QMetaType::QIcon:
        return v.value<QIcon>().isNull() ? QString() : QStringLiteral("(QIcon)");
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QTime:
        return v.toTime().toString(Qt::ISODate);
    case QMetaType::QDateTime:
        return v.toDateTime().toString(Qt::ISODate);
    default:
        break;
    }
    if (v.canConvert<QString>())
        return v.toString();
    return QStringLiteral("(%1)").arg(QString::fromLatin1(v.metaType().name()));
}

QVariant PropertyModel::parseText(const TPropItem &item, const QString &text)
{
    const QString t = text.trimmed();
    if (isEnum(item)) {
        const QMetaEnum e = enumeratorOf(item);
        bool ok = false;
        int n = 0;
        if (e.isFlag())
            n = t.isEmpty() ? 0 : e.keysToValue(t.toLatin1().constData(), &ok);
        else {
            n = e.keyToValue(t.toLatin1().constData(), &ok);
            if (!ok) {
                n = t.toInt(&ok);
                ok = ok && e.valueToKey(n) != nullptr;
            }
        }
        if (e.isFlag() && t.isEmpty())
            ok = true;
        return ok ? makeEnum(item.type, n) : QVariant();
    }
    switch (item.type.id()) {
    case QMetaType::Bool:
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || t == QLatin1String("1"))
            return true;
        if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || t == QLatin1String("0"))
            return false;
        return {};
    case QMetaType::Int:
    case QMetaType::Short: {
        bool ok = false;
        const int n = t.toInt(&ok);
        QVariant v(n);
        return ok && v.convert(item.type) && v.toInt() == n ? v : QVariant();
    }
    case QMetaType::UInt:
    case QMetaType::UShort: {
        bool ok = false;
        const uint n = t.toUInt(&ok);
        QVariant v(n);
        return ok && v.convert(item.type) && v.toUInt() == n ? v : QVariant();
    }
    case QMetaType::LongLong: {
        bool ok = false;
        const qlonglong n = t.toLongLong(&ok);
        return ok ? QVariant(n) : QVariant();
    }
    case QMetaType::ULongLong: {
        bool ok = false;
        const qulonglong n = t.toULongLong(&ok);
        return ok ? QVariant(n) : QVariant();
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        bool ok = false;
        const double d = t.toDouble(&ok);
        QVariant v(d);
        return ok && std::isfinite(d) && v.convert(item.type) ? v : QVariant();
    }
    case QMetaType::QString:
        return text;
    case QMetaType::QByteArray:
        return text.toUtf8();
    case QMetaType::QUrl:
        return QUrl(t);
    case QMetaType::QColor: {
        const QColor c = QColor::fromString(t);
        return c.isValid() ? QVariant(c) : QVariant();
    }
    case QMetaType::QFont:
        return parseFont(t);
    case QMetaType::QSize: {
        const auto n = numbers(t, 2);
        return n.size() == 2 && fitsInt(n[0]) && fitsInt(n[1]) ? QVariant(QSize(int(n[0]), int(n[1]))) : QVariant();
    }
    case QMetaType::QSizeF: {
        const auto n = numbers(t, 2);
        return n.size() == 2 ? QVariant(QSizeF(n[0], n[1])) : QVariant();
    }
    case QMetaType::QPoint: {
        const auto n = numbers(t, 2);
        return n.size() == 2 && fitsInt(n[0]) && fitsInt(n[1]) ? QVariant(QPoint(int(n[0]), int(n[1]))) : QVariant();
    }
    case QMetaType::QPointF: {
        const auto n = numbers(t, 2);
        return n.size() == 2 ? QVariant(QPointF(n[0], n[1])) : QVariant();
    }
    case QMetaType::QRect: {
        const auto n = numbers(t, 4);
        if (n.size() != 4 || !std::all_of(n.begin(), n.end(), fitsInt))
            return {};
        return QRect(int(n[0]), int(n[1]), int(n[2]), int(n[3]));
    }
    case QMetaType::QRectF: {
        const auto n = numbers(t, 4);
        return n.size() == 4 ? QVariant(QRectF(n[0], n[1], n[2], n[3])) : QVariant();
    }
    case QMetaType::QKeySequence:
        return QKeySequence::fromString(t, QKeySequence::NativeText);
    case QMetaType::QDate: {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        return d.isValid() ? QVariant(d) : QVariant();
    }
    case QMetaType::QTime: {
        const QTime d = QTime::fromString(t, Qt::ISODate);
        return d.isValid() ? QVariant(d) : QVariant();
    }
    case QMetaType::QDateTime: {
        const QDateTime d = QDateTime::fromString(t, Qt::ISODate);
        return d.isValid() ? QVariant(d) : QVariant();
    }
    default:
        break;
    }
    QVariant v(text);
    return v.convert(item.type) ? v : QVariant();
}

bool PropertyModel::isEditable(int row) const
{
    if (m_readOnly || !m_object || row < 0 || row >= rowCount())
        return false;
    const TPropItem &it = item(row);
    if (it.kind == TPropItem::Kind::Event)
        return false;
    if (it.kind == TPropItem::Kind::Property && !it.Prop.isWritable())
        return false;
    return isEditableType(it);
}

bool PropertyModel::setValue(int row, const QVariant &v)
{
    if (!isEditable(row))
        return false;
    const TPropItem it = item(row);
    QVariant target;
    if (v.metaType() == it.type)
        target = v;
    else if (v.typeId() == QMetaType::QString)
        target = parseText(it, v.toString());
    else if (isEnum(it)) {
        bool ok = false;
        const qint64 n = v.toLongLong(&ok);
        if (ok)
            target = parseText(it, QString::number(n));
        if (ok && isFlag(it))
            target = makeEnum(it.type, n);
    } else {
        target = v;
        if (!target.convert(it.type))
            target = QVariant();
    }
    // A widget's size or place is kept to what the screens show, as the settings dialog keeps
    // the window's: a minimumSize of 30000 x 30000 would take gigabytes.
    if (auto *w = qobject_cast<QWidget *>(m_object); w && target.isValid()) {
        QList<QRect> screens;
        for (const QScreen *screen : QGuiApplication::screens())
            screens.append(screen->geometry());
        target = SettingsRules::shownGeometryValue(target, w->isWindow(), it.name == "maximumSize", screens);
    }
    bool ok = target.isValid();
    if (ok && isEnum(it) && !isFlag(it))
        ok = it.Prop.enumerator().valueToKey(static_cast<int>(enumValue(target))) != nullptr;
    if (ok) {
        if (it.kind == TPropItem::Kind::Dynamic)
            m_object->setProperty(it.name.constData(), target);
        else
            ok = it.Prop.write(m_object, target);
    }
    // The write may have been refused, adjusted, or have ended the object: show what it holds.
    if (!m_object || row >= rowCount())
        return false;
    emit dataChanged(index(row, NameColumn), index(row, ValueColumn));
    const QVariant now = value(row);
    if (!ok)
        return false;
    if (isEnum(it))
        return enumValue(now) == enumValue(target);
    return now == target;
}

int PropertyModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_items.size());
}

int PropertyModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PropertyModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int row = index.row();
    const TPropItem &it = item(row);
    const bool valueColumn = index.column() == ValueColumn;
    switch (role) {
    case Qt::DisplayRole:
        if (!valueColumn)
            return QString::fromLatin1(it.name);
        return text(row);
    case Qt::EditRole: {
        if (!valueColumn)
            return QString::fromLatin1(it.name);
        const QVariant v = value(row);
        if (usesQtEditor(v.typeId()) && !isEnum(it))
            return v;
        if (isEnum(it) && !isFlag(it))
            return enumValue(v);
        return valueText(it, v);
    }
    case Qt::CheckStateRole:
        if (valueColumn && it.type.id() == QMetaType::Bool && !isEnum(it))
            return value(row).toBool() ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ToolTipRole: {
        QString tip = QString::fromLatin1(it.name);
        if (it.kind == TPropItem::Kind::Event)
            tip += QStringLiteral(": signal ") + QString::fromLatin1(it.Method.methodSignature());
        else if (isEnum(it))
            tip += QStringLiteral(": ") + QString::fromLatin1(it.Prop.enumerator().enumName());
        else
            tip += QStringLiteral(": ") + QString::fromLatin1(it.type.name());
        if (it.kind == TPropItem::Kind::Dynamic)
            tip += QStringLiteral(" (set on this object)");
        else if (it.declaredBy)
            tip += QStringLiteral(", from ") + QString::fromLatin1(it.declaredBy);
        if (it.kind == TPropItem::Kind::Event || !isEditable(row))
            tip += QStringLiteral(", read-only");
        if (valueColumn && it.kind != TPropItem::Kind::Event)
            tip += u'\n' + text(row);
        return tip;
    }
    case DiffersFromDefaultRole:
        return it.hasDefault && m_object && value(row) != it.defaultValue;
    case Qt::FontRole:
        if (valueColumn && it.hasDefault && m_object && value(row) != it.defaultValue) {
            QFont f;
            f.setBold(true);
            return f;
        }
        return {};
    case Qt::DecorationRole:
        if (valueColumn && it.type.id() == QMetaType::QColor) {
            const QColor c = value(row).value<QColor>();
            if (c.isValid())
                return c;
        }
        return {};
    default:
        return {};
    }
}

bool PropertyModel::setData(const QModelIndex &index, const QVariant &v, int role)
{
    if (!index.isValid() || index.column() != ValueColumn)
        return false;
    if (role == Qt::CheckStateRole)
        return setValue(index.row(), v.toInt() == Qt::Checked);
    if (role == Qt::EditRole)
        return setValue(index.row(), v);
    return false;
}

Qt::ItemFlags PropertyModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == ValueColumn && isEditable(index.row())) {
        if (item(index.row()).type.id() == QMetaType::Bool)
            f |= Qt::ItemIsUserCheckable;
        else
            f |= Qt::ItemIsEditable;
    }
    return f;
}

bool PropertyModel::usesQtEditor(int typeId)
{
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Double:
    case QMetaType::QString:
    case QMetaType::QKeySequence:
    case QMetaType::QDate:
    case QMetaType::QTime:
    case QMetaType::QDateTime:
        return true;
    default:
        return false;
    }
}
