#include "outagesform.h"

#include "appclock.h"
#include "historyform.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

TOutagesModel::TOutagesModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

bool TOutagesModel::load(const QString &dir, qint64 nowMs, QString *error)
{
    beginResetModel();
    m_rows.clear();
    m_truncated = false;
    m_now = nowMs;
    HistoryStore store;
    const bool ok = store.openForReading(dir, error);
    if (ok) {
        const qint64 liveRun = store.writerActive() ? store.latestRun() : 0;
        const qint64 from = std::numeric_limits<qint64>::min() / 2, to = std::numeric_limits<qint64>::max() / 2;
        for (const HistoryStore::Host &h : store.hosts()) {
            const QList<History::Outage> found = store.outages(h.id, from, to, liveRun, kMaxRows);
            for (const History::Outage &o : found)
                m_rows.append({ h.identity, o });
            // Only the newest are kept as it goes, so that many hosts never pile up.
            if (m_rows.size() > 2 * kMaxRows) {
                std::sort(m_rows.begin(), m_rows.end(),
                    [](const Row &a, const Row &b) { return a.outage.startMs > b.outage.startMs; });
                m_rows.resize(kMaxRows);
                m_truncated = true;
            }
        }
        std::stable_sort(m_rows.begin(), m_rows.end(), [](const Row &a, const Row &b) {
            return a.outage.startMs != b.outage.startMs ? a.outage.startMs > b.outage.startMs : a.identity < b.identity;
        });
        if (m_rows.size() > kMaxRows) {
            m_rows.resize(kMaxRows);
            m_truncated = true;
        }
    }
    endResetModel();
    return ok;
}

int TOutagesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TOutagesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TOutagesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const Row &row = m_rows.at(index.row());
    const History::Outage &o = row.outage;
    const bool ongoing = o.state == History::Outage::State::Ongoing;
    switch (index.column()) {
    case HostCol:
        return row.identity;
    case StartCol:
        return ongoing ? QStringLiteral("since %1").arg(timeText(o.startMs)) : timeText(o.startMs);
    case EndCol:
        return ongoing ? QString() : timeText(o.endMs);
    case DurationCol:
        return THistoryForm::durationText(o.durationMs + (ongoing ? std::max<qint64>(0, m_now - o.lastMs) : 0));
    case KindCol:
        return History::kindName(o.kind);
    case StateCol:
        return History::stateName(o.state);
    default:
        return {};
    }
}

QVariant TOutagesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QString names[] = { QStringLiteral("Host"), QStringLiteral("Start"), QStringLiteral("End"),
        QStringLiteral("Duration"), QStringLiteral("Kind"), QStringLiteral("State") };
    return section >= 0 && section < ColumnCount ? names[section] : QVariant();
}

TOutagesForm::TOutagesForm(const QString &dir, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_dir(dir)
    , m_model(new TOutagesModel(this))
    , m_filter(new QSortFilterProxyModel(this))
{
    setObjectName(QStringLiteral("OutagesForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Outages"));
    auto *v = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    auto *filterLbl = new QLabel(QStringLiteral("&Host:"), this);
    filterLbl->setObjectName(QStringLiteral("HostFilterLbl"));
    HostFilterEdit = new QLineEdit(this);
    HostFilterEdit->setObjectName(QStringLiteral("HostFilterEdit"));
    HostFilterEdit->setPlaceholderText(QStringLiteral("part of a host's text"));
    HostFilterEdit->setClearButtonEnabled(true);
    filterLbl->setBuddy(HostFilterEdit);
    top->addWidget(filterLbl);
    top->addWidget(HostFilterEdit, 1);
    v->addLayout(top);

    m_filter->setObjectName(QStringLiteral("OutagesFilter"));
    m_filter->setSourceModel(m_model);
    m_filter->setFilterKeyColumn(TOutagesModel::HostCol);
    m_filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    OutagesView = new QTableView(this);
    OutagesView->setObjectName(QStringLiteral("OutagesView"));
    OutagesView->setModel(m_filter);
    OutagesView->setSelectionBehavior(QAbstractItemView::SelectRows);
    OutagesView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    OutagesView->verticalHeader()->hide();
    OutagesView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    OutagesView->horizontalHeader()->setStretchLastSection(true);
    v->addWidget(OutagesView, 1);

    auto *bottom = new QHBoxLayout;
    StatusLbl = new QLabel(this);
    StatusLbl->setObjectName(QStringLiteral("StatusLbl"));
    bottom->addWidget(StatusLbl, 1);
    RefreshBtn = new QPushButton(QStringLiteral("&Refresh"), this);
    RefreshBtn->setObjectName(QStringLiteral("RefreshBtn"));
    CloseBtn = new QPushButton(QStringLiteral("&Close"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    for (QPushButton *b : { RefreshBtn, CloseBtn }) {
        b->setAutoDefault(false);
        bottom->addWidget(b);
    }
    v->addLayout(bottom);

    connect(HostFilterEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_filter->setFilterFixedString(text.trimmed());
        showCount();
    });
    connect(RefreshBtn, &QPushButton::clicked, this, &TOutagesForm::reload);
    connect(CloseBtn, &QPushButton::clicked, this, &QWidget::close);
    connect(OutagesView, &QTableView::activated, this, [this](const QModelIndex &index) {
        const QModelIndex source = m_filter->mapToSource(index);
        if (source.isValid())
            emit historyRequested(m_model->rows().at(source.row()).identity);
    });
    resize(760, 420);
    reload();
}

void TOutagesForm::reload()
{
    QString error;
    if (!m_model->load(m_dir, AppClock::now().toMSecsSinceEpoch(), &error)) {
        StatusLbl->setText(error + u'.');
        return;
    }
    showCount();
}

void TOutagesForm::showCount()
{
    const int shown = m_filter->rowCount();
    QString text = shown == 1 ? QStringLiteral("1 outage") : QStringLiteral("%1 outages").arg(shown);
    if (m_model->truncated())
        text += QStringLiteral(" (the newest %1 of all hosts)").arg(TOutagesModel::kMaxRows);
    StatusLbl->setText(text);
}
