#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPointer>
#include <QVariant>

#include <functional>
#include <vector>

// One row of the property grid: a property of the inspected object's class, a dynamic
// property set on the object, or a signal, which stands in for an event handler.
struct TPropItem
{
    enum class Kind { Property, Dynamic, Event };
    Kind kind = Kind::Property;
    QByteArray name;
    QMetaProperty Prop; // Kind::Property
    QMetaMethod Method; // Kind::Event
    QMetaType type; // the value's type; for an event, none
    const char *declaredBy = nullptr;
    // The value a fresh object of the class holds, when one could be made (see defaultsFor).
    bool hasDefault = false;
    QVariant defaultValue;

    bool IsEvent() const { return kind == Kind::Event; }
};

// The rows of the property grid for one live object: its properties (from its QMetaObject,
// inherited ones included), its dynamic properties and its signals, sorted by name. Values
// are read from the object each time they are asked for and written to it at once; after
// every write the value is read back, so a row never shows what the object refused. When
// the object is destroyed the model empties itself and never touches it again.
class PropertyModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn, ValueColumn, ColumnCount };
    enum Role { DiffersFromDefaultRole = Qt::UserRole + 1 };

    explicit PropertyModel(QObject *parent = nullptr);

    // Asked for every row before it is added; false leaves the row out.
    std::function<bool(const TPropItem &)> OnBeforeAddItem;

    // The inspected object; setting it rebuilds the rows (also for the same object).
    void setComponent(QObject *object);
    QObject *component() const { return m_object; }
    void setReadOnly(bool on);
    bool readOnly() const { return m_readOnly; }

    const TPropItem &item(int row) const { return m_items[static_cast<std::size_t>(row)]; }
    int rowOf(const QByteArray &name) const;
    // The live value of a row (invalid for events or without an object).
    QVariant value(int row) const;
    // The value as the grid shows it.
    QString text(int row) const;
    // Whether the row can be changed: a writable property of a type the grid edits, with the
    // grid not read-only.
    bool isEditable(int row) const;
    // Writes a value (of the property's type, or text in the grid's notation) to the object
    // and reads it back; true when the object now holds the value asked for.
    bool setValue(int row, const QVariant &v);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &v, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Text forms shared with the editors.
    static QString formatFloat(double v);
    static QString valueText(const TPropItem &item, const QVariant &v);
    // Reads text in the grid's notation into a value of the row's type; invalid when it
    // does not parse.
    static QVariant parseText(const TPropItem &item, const QString &text);
    static bool isEnum(const TPropItem &item);
    // Types edited by Qt's own item editors and handed to them as they are; every other
    // type is edited as text in the grid's notation.
    static bool usesQtEditor(int typeId);
    static bool isFlag(const TPropItem &item);
    static qint64 enumValue(const QVariant &v);

public slots:
    // The object announced a change of one of its properties: show the current values.
    void objectChanged();

private:
    void objectDestroyed();
    void rebuild();

    QPointer<QObject> m_object;
    QObject *m_connected = nullptr;
    std::vector<TPropItem> m_items;
    bool m_readOnly = false;
};
