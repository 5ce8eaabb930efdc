#pragma once

#include "historystore.h"

#include <QAbstractTableModel>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

// The outages of every host in the store, newest first: host, start, end, duration, kind and
// state, each in words. At most kMaxRows of them, the newest.
class TOutagesModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { HostCol, StartCol, EndCol, DurationCol, KindCol, StateCol, ColumnCount };
    static constexpr int kMaxRows = 20000;

    struct Row
    {
        QString identity;
        History::Outage outage;
    };

    explicit TOutagesModel(QObject *parent = nullptr);

    // Reads the outages of every host over everything kept; `nowMs` gives an ongoing one its
    // duration so far. False with the reason when the store cannot be read.
    bool load(const QString &dir, qint64 nowMs, QString *error);
    const QList<Row> &rows() const { return m_rows; }
    // Whether some outages were left out (more than kMaxRows).
    bool truncated() const { return m_truncated; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<Row> m_rows;
    qint64 m_now = 0;
    bool m_truncated = false;
};

// The window of every host's outages (from the Misc menu), with a filter on the host's text.
// A double click opens the host's history.
class TOutagesForm : public QWidget
{
    Q_OBJECT
public:
    explicit TOutagesForm(const QString &dir, QWidget *parent = nullptr);

    TOutagesModel *model() const { return m_model; }
    QSortFilterProxyModel *filtered() const { return m_filter; }
    void reload();

    QLineEdit *HostFilterEdit;
    QTableView *OutagesView;
    QLabel *StatusLbl;
    QPushButton *RefreshBtn, *CloseBtn;

signals:
    void historyRequested(const QString &identity);

private:
    void showCount();

    QString m_dir;
    TOutagesModel *m_model;
    QSortFilterProxyModel *m_filter;
};
