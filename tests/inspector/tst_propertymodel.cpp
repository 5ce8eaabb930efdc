// The property grid's rows, without a window: reading, writing, refusals, filtering, and an
// inspected object that goes away.
#include "propertymodel.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QRect>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

// A small object with one property of each kind the grid handles.
class Sample : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString text MEMBER m_text NOTIFY changed)
    Q_PROPERTY(int count READ count WRITE setCount NOTIFY changed)
    Q_PROPERTY(bool on MEMBER m_on)
    Q_PROPERTY(double ratio MEMBER m_ratio)
    Q_PROPERTY(Mode mode MEMBER m_mode)
    Q_PROPERTY(Qt::Alignment align MEMBER m_align)
    Q_PROPERTY(QColor color MEMBER m_color)
    Q_PROPERTY(QFont font MEMBER m_font)
    Q_PROPERTY(QSize size MEMBER m_size)
    Q_PROPERTY(QRect rect MEMBER m_rect)
    Q_PROPERTY(QPoint point MEMBER m_point)
    Q_PROPERTY(int fixed READ fixed CONSTANT)
public:
    enum Mode { Idle, Busy, Done };
    Q_ENUM(Mode)

    int count() const { return m_count; }
    // Counts below zero are refused by holding zero.
    void setCount(int n)
    {
        m_count = qMax(0, n);
        emit changed();
    }
    int fixed() const { return 7; }

    QString m_text = QStringLiteral("hello");
    int m_count = 3;
    bool m_on = false;
    double m_ratio = 2.5;
    Mode m_mode = Busy;
    Qt::Alignment m_align = Qt::AlignLeft | Qt::AlignVCenter;
    QColor m_color = Qt::red;
    QFont m_font;
    QSize m_size { 10, 20 };
    QRect m_rect { 1, 2, 3, 4 };
    QPoint m_point { 5, 6 };

signals:
    void changed();
    void clicked(bool checked);
};

class TestPropertyModel : public QObject
{
    Q_OBJECT
private slots:
    void rows_showEachTypeAsTheGridWritesIt_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("text") << QByteArray("text") << QStringLiteral("hello");
        QTest::newRow("int") << QByteArray("count") << QStringLiteral("3");
        QTest::newRow("bool") << QByteArray("on") << QStringLiteral("False");
        QTest::newRow("double") << QByteArray("ratio") << QStringLiteral("2.5");
        QTest::newRow("enum") << QByteArray("mode") << QStringLiteral("Busy");
        QTest::newRow("flags") << QByteArray("align") << QStringLiteral("AlignLeft|AlignVCenter");
        QTest::newRow("colour") << QByteArray("color") << QStringLiteral("#ff0000");
        QTest::newRow("size") << QByteArray("size") << QStringLiteral("10, 20");
        QTest::newRow("rect") << QByteArray("rect") << QStringLiteral("1, 2, 3, 4");
        QTest::newRow("point") << QByteArray("point") << QStringLiteral("5, 6");
        QTest::newRow("read-only") << QByteArray("fixed") << QStringLiteral("7");
        QTest::newRow("inherited") << QByteArray("objectName") << QStringLiteral("sample");
        QTest::newRow("signal") << QByteArray("clicked") << QStringLiteral("(bool checked)");
    }
    void rows_showEachTypeAsTheGridWritesIt()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, text);
        Sample s;
        s.setObjectName(QStringLiteral("sample"));
        PropertyModel m;
        m.setComponent(&s);
        const int row = m.rowOf(name);
        QVERIFY(row >= 0);
        QCOMPARE(m.text(row), text);
        QCOMPARE(
            m.data(m.index(row, PropertyModel::NameColumn), Qt::DisplayRole).toString(), QString::fromLatin1(name));
        QCOMPARE(m.data(m.index(row, PropertyModel::ValueColumn), Qt::DisplayRole).toString(), text);
        QVERIFY(!m.data(m.index(row, PropertyModel::ValueColumn), Qt::ToolTipRole).toString().isEmpty());
        // What the grid shows reads back as the same value.
        if (m.isEditable(row))
            QCOMPARE(PropertyModel::parseText(m.item(row), text), m.value(row));
    }

    void rows_sortedByNameWithoutRegardToCase()
    {
        Sample s;
        PropertyModel m;
        m.setComponent(&s);
        QStringList names;
        for (int r = 0; r < m.rowCount(); ++r)
            names.append(QString::fromLatin1(m.item(r).name));
        QStringList sorted = names;
        std::sort(sorted.begin(), sorted.end(),
            [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
        QCOMPARE(names, sorted);
        QCOMPARE(names.count(QStringLiteral("destroyed")), 1); // an overload is one event
    }

    void write_reachesTheObject()
    {
        Sample s;
        PropertyModel m;
        m.setComponent(&s);
        auto set = [&](const char *name, const QVariant &v) { return m.setValue(m.rowOf(name), v); };
        QVERIFY(set("text", QStringLiteral("world")));
        QCOMPARE(s.m_text, QStringLiteral("world"));
        QVERIFY(set("count", QStringLiteral("42")));
        QCOMPARE(s.m_count, 42);
        QVERIFY(set("count", 43));
        QCOMPARE(s.m_count, 43);
        QVERIFY(m.setData(m.index(m.rowOf("on"), PropertyModel::ValueColumn), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(s.m_on);
        QVERIFY(set("ratio", QStringLiteral("0.5")));
        QCOMPARE(s.m_ratio, 0.5);
        QVERIFY(set("mode", QStringLiteral("Done")));
        QCOMPARE(s.m_mode, Sample::Done);
        QVERIFY(set("mode", int(Sample::Idle)));
        QCOMPARE(s.m_mode, Sample::Idle);
        QVERIFY(set("align", QStringLiteral("AlignRight|AlignTop")));
        QCOMPARE(s.m_align, Qt::AlignRight | Qt::AlignTop);
        QVERIFY(set("color", QStringLiteral("#00ff00")));
        QCOMPARE(s.m_color, QColor(Qt::green));
        QVERIFY(set("font", QStringLiteral("Serif, 14pt, italic")));
        QCOMPARE(s.m_font.family(), QStringLiteral("Serif"));
        QCOMPARE(s.m_font.pointSize(), 14);
        QVERIFY(s.m_font.italic() && !s.m_font.bold());
        QVERIFY(set("size", QStringLiteral("30, 40")));
        QCOMPARE(s.m_size, QSize(30, 40));
        QVERIFY(set("rect", QStringLiteral("5,6, 7 ,8")));
        QCOMPARE(s.m_rect, QRect(5, 6, 7, 8));
        QVERIFY(set("point", QStringLiteral("-1, 2")));
        QCOMPARE(s.m_point, QPoint(-1, 2));
        QVERIFY(set("objectName", QStringLiteral("renamed")));
        QCOMPARE(s.objectName(), QStringLiteral("renamed"));
    }

    void write_refusedValueLeavesTheRowShowingWhatTheObjectHolds_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("shown");
        QTest::newRow("setter clamps") << QByteArray("count") << QStringLiteral("-5") << QStringLiteral("0");
        QTest::newRow("not a number") << QByteArray("count") << QStringLiteral("12a") << QStringLiteral("3");
        QTest::newRow("int overflow") << QByteArray("count") << QStringLiteral("99999999999") << QStringLiteral("3");
        QTest::newRow("unknown enum key") << QByteArray("mode") << QStringLiteral("Sleeping") << QStringLiteral("Busy");
        QTest::newRow("enum value without key") << QByteArray("mode") << QStringLiteral("9") << QStringLiteral("Busy");
        QTest::newRow("unknown flag key") << QByteArray("align") << QStringLiteral("AlignLeft|AlignNowhere")
                                          << QStringLiteral("AlignLeft|AlignVCenter");
        QTest::newRow("not a colour") << QByteArray("color") << QStringLiteral("reddish") << QStringLiteral("#ff0000");
        QTest::newRow("size with a word") << QByteArray("size") << QStringLiteral("1, x") << QStringLiteral("10, 20");
        QTest::newRow("rect short") << QByteArray("rect") << QStringLiteral("1, 2, 3") << QStringLiteral("1, 2, 3, 4");
        QTest::newRow("bool text") << QByteArray("on") << QStringLiteral("maybe") << QStringLiteral("False");
        QTest::newRow("read-only") << QByteArray("fixed") << QStringLiteral("8") << QStringLiteral("7");
        QTest::newRow("signal") << QByteArray("clicked") << QStringLiteral("x") << QStringLiteral("(bool checked)");
    }
    void write_refusedValueLeavesTheRowShowingWhatTheObjectHolds()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, input);
        QFETCH(QString, shown);
        Sample s;
        PropertyModel m;
        m.setComponent(&s);
        const int row = m.rowOf(name);
        QVERIFY(!m.setValue(row, input));
        QCOMPARE(m.text(row), shown);
    }

    void write_widgetRefusesNegativeSize()
    {
        QLabel label;
        PropertyModel m;
        m.setComponent(&label);
        QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
        const int row = m.rowOf("minimumSize");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Negative sizes")));
        QVERIFY(!m.setValue(row, QStringLiteral("-5, -5")));
        QCOMPARE(label.minimumSize(), QSize(0, 0));
        QCOMPARE(m.text(row), QStringLiteral("0, 0"));
        QVERIFY(changed.count() >= 1);
    }

    // Sizes and places are kept to what the screens show: a minimum size of 30000 x 30000
    // would take gigabytes once shown. No maximum (QWIDGETSIZE_MAX) can still be written.
    void write_widgetSizesAndPlacesKeptToTheScreens_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("minimumSize") << QByteArray("minimumSize") << QStringLiteral("30000, 30000");
        QTest::newRow("maximumSize") << QByteArray("maximumSize") << QStringLiteral("30000, 30000");
        QTest::newRow("size") << QByteArray("size") << QStringLiteral("30000, 30000");
        QTest::newRow("baseSize") << QByteArray("baseSize") << QStringLiteral("30000, 30000");
        QTest::newRow("geometry") << QByteArray("geometry") << QStringLiteral("0, 0, 30000, 30000");
        QTest::newRow("pos") << QByteArray("pos") << QStringLiteral("2147483647, -2147483648");
    }
    void write_widgetSizesAndPlacesKeptToTheScreens()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, text);
        QWidget window;
        auto *child = new QLabel(&window);
        QRect desktop;
        for (const QScreen *screen : QGuiApplication::screens())
            desktop |= screen->geometry();
        QVERIFY(!desktop.isEmpty());
        for (QWidget *w : { &window, static_cast<QWidget *>(child) }) {
            PropertyModel m;
            m.setComponent(w);
            const int row = m.rowOf(name);
            QVERIFY(row >= 0);
            m.setValue(row, text);
            const QVariant now = m.value(row);
            const QRect r = now.typeId() == QMetaType::QRect ? now.toRect()
                : now.typeId() == QMetaType::QSize           ? QRect(QPoint(), now.toSize())
                                                             : QRect(now.toPoint(), QSize(1, 1));
            QVERIFY2(r.width() <= desktop.width() && r.height() <= desktop.height(), qPrintable(m.text(row)));
            QVERIFY2(std::abs(qint64(r.x())) <= 2 * desktop.width() && std::abs(qint64(r.y())) <= 2 * desktop.height(),
                qPrintable(m.text(row)));
        }
        PropertyModel m;
        m.setComponent(child);
        QVERIFY(m.setValue(m.rowOf("maximumSize"), QStringLiteral("16777215, 16777215")));
        QCOMPARE(child->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    }

    void readOnly_nothingIsEditable()
    {
        Sample s;
        PropertyModel m;
        m.setComponent(&s);
        const QModelIndex text = m.index(m.rowOf("text"), PropertyModel::ValueColumn);
        const QModelIndex on = m.index(m.rowOf("on"), PropertyModel::ValueColumn);
        QVERIFY(m.flags(text) & Qt::ItemIsEditable);
        QVERIFY(m.flags(on) & Qt::ItemIsUserCheckable);
        QVERIFY(!(m.flags(m.index(m.rowOf("fixed"), PropertyModel::ValueColumn)) & Qt::ItemIsEditable));
        QVERIFY(!(m.flags(m.index(m.rowOf("clicked"), PropertyModel::ValueColumn)) & Qt::ItemIsEditable));
        QVERIFY(!(m.flags(m.index(m.rowOf("text"), PropertyModel::NameColumn)) & Qt::ItemIsEditable));

        m.setReadOnly(true);
        QVERIFY(!(m.flags(text) & Qt::ItemIsEditable));
        QVERIFY(!(m.flags(on) & Qt::ItemIsUserCheckable));
        QVERIFY(!m.setValue(text.row(), QStringLiteral("changed")));
        QCOMPARE(s.m_text, QStringLiteral("hello"));
    }

    void filter_askedForEveryRowAndHidesWhatItRefuses()
    {
        Sample s;
        PropertyModel m;
        int asked = 0;
        m.OnBeforeAddItem = [&](const TPropItem &item) {
            ++asked;
            return !item.IsEvent();
        };
        m.setComponent(&s);
        QVERIFY(asked > m.rowCount());
        QCOMPARE(m.rowOf("clicked"), -1);
        QCOMPARE(m.rowOf("destroyed"), -1);
        QVERIFY(m.rowOf("text") >= 0);
        for (int r = 0; r < m.rowCount(); ++r)
            QVERIFY(!m.item(r).IsEvent());
    }

    void destroyedObject_emptiesTheRows()
    {
        auto *s = new Sample;
        PropertyModel m;
        m.setComponent(s);
        QVERIFY(m.rowCount() > 0);
        QSignalSpy reset(&m, &QAbstractItemModel::modelReset);
        delete s;
        QCOMPARE(reset.count(), 1);
        QCOMPARE(m.rowCount(), 0);
        QCOMPARE(m.component(), nullptr);
        m.objectChanged(); // a late notification finds nothing to show
    }

    void objectChangeShowsInTheRows()
    {
        Sample s;
        PropertyModel m;
        m.setComponent(&s);
        QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
        s.setCount(9);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(m.text(m.rowOf("count")), QStringLiteral("9"));
    }

    void valuesDifferingFromAFreshObject_areBold()
    {
        QLabel label;
        PropertyModel m;
        m.setComponent(&label);
        const QModelIndex text = m.index(m.rowOf("text"), PropertyModel::ValueColumn);
        const QModelIndex wrap = m.index(m.rowOf("wordWrap"), PropertyModel::ValueColumn);
        QVERIFY(!text.data(PropertyModel::DiffersFromDefaultRole).toBool());
        QVERIFY(m.setValue(text.row(), QStringLiteral("changed")));
        QCOMPARE(label.text(), QStringLiteral("changed"));
        QVERIFY(text.data(PropertyModel::DiffersFromDefaultRole).toBool());
        QVERIFY(text.data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!wrap.data(PropertyModel::DiffersFromDefaultRole).toBool());
        // A class of our own has no known defaults for what it declares.
        Sample s;
        m.setComponent(&s);
        QVERIFY(!m.index(m.rowOf("count"), PropertyModel::ValueColumn)
                     .data(PropertyModel::DiffersFromDefaultRole)
                     .toBool());
    }

    void formatFloat_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 1.0 << QStringLiteral("1");
        QTest::newRow("zero") << 0.0 << QStringLiteral("0");
        QTest::newRow("half") << 0.5 << QStringLiteral("0.5");
        QTest::newRow("third") << 1.0 / 3 << QStringLiteral("0.33");
        QTest::newRow("rounds up") << 2.999 << QStringLiteral("3");
        QTest::newRow("negative") << -12.25 << QStringLiteral("-12.25");
        QTest::newRow("tiny") << 0.0001234 << QStringLiteral("0.0001234");
        QTest::newRow("huge") << 1e20 << QStringLiteral("1e+20");
    }
    void formatFloat()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(PropertyModel::formatFloat(value), text);
    }
};

QTEST_MAIN(TestPropertyModel)
#include "tst_propertymodel.moc"
