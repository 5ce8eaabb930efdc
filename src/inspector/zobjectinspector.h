#pragma once

#include "propertymodel.h"

#include <QStyledItemDelegate>
#include <QTreeView>
#include <QWidget>

class QLineEdit;
class QSortFilterProxyModel;

// Opens the editor that fits a property's type: Qt's own item editors for numbers, text,
// key sequences and dates; a list of keys for an enumeration; the keys as text for flags;
// a colour or font field with a button that opens the standard dialog; and a text field in
// the grid's notation ("x, y, w, h") for points, sizes and rectangles. Booleans need no
// editor: their check box toggles in place.
class PropertyDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    PropertyDelegate(PropertyModel *model, QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

private:
    int sourceRow(const QModelIndex &index) const;
    PropertyModel *m_model;
};

// The grid's view: a gutter at the left that marks the current row, names and values in two
// columns without header or grid lines, and a split between them that the mouse can drag.
class PropertyView : public QTreeView
{
    Q_OBJECT
public:
    explicit PropertyView(QWidget *parent = nullptr);
    int gutterWidth() const { return indentation(); }
    // Where names end and values begin, from the left edge of the names.
    int splitterPos() const { return columnWidth(PropertyModel::NameColumn) - gutterWidth(); }
    void setSplitterPos(int x);
    bool isEditing() const { return state() == EditingState; }

protected:
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    bool nearSplit(int x) const;
    bool m_dragging = false;
};

// The property grid: lists the properties of a live object and edits them in place. A search
// field above the rows narrows them by name. Values that differ from what a fresh object of
// the class holds are shown in bold.
class TzObjectInspector : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QObject *Component READ Component WRITE setComponent)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE setReadOnly)
    Q_PROPERTY(int SplitterPos READ SplitterPos WRITE setSplitterPos)
    Q_PROPERTY(int GutterWidth READ GutterWidth CONSTANT)
public:
    static constexpr int kGutterWidth = 12;
    static constexpr int kSplitterPos = 100;

    explicit TzObjectInspector(QWidget *parent = nullptr);
    ~TzObjectInspector() override;

    // The inspected object; setting it rebuilds the rows.
    QObject *Component() const { return m_model->component(); }
    void setComponent(QObject *object);
    bool ReadOnly() const { return m_model->readOnly(); }
    void setReadOnly(bool on) { m_model->setReadOnly(on); }
    int SplitterPos() const { return View->splitterPos(); }
    void setSplitterPos(int x) { View->setSplitterPos(x); }
    int GutterWidth() const { return View->gutterWidth(); }
    // Asked for every property before its row is added; false leaves the row out.
    void setOnBeforeAddItem(std::function<bool(const TPropItem &)> filter)
    {
        m_model->OnBeforeAddItem = std::move(filter);
    }

    PropertyModel *Model() const { return m_model; }
    // The view's index of a property's value, invalid when the row is not shown.
    QModelIndex valueIndex(const QByteArray &name) const;

    QLineEdit *SearchEdit;
    PropertyView *View;

private:
    PropertyModel *m_model;
    QSortFilterProxyModel *m_proxy;
};
