#include "hosttablemodel.h"

#include "appclock.h"
#include "hostprobe.h"
#include "hostsummary.h"

#include <limits>

namespace {

QString ms(int v)
{
    return QStringLiteral("%1 ms").arg(v);
}

constexpr double kNone = std::numeric_limits<double>::max();

} // namespace

HostTableModel::HostTableModel(HostCollection *hosts, QObject *parent)
    : QAbstractTableModel(parent)
    , m_hosts(hosts)
{
    for (int i = 0; i < hosts->count(); ++i)
        m_rows.append(compute(i));
    connect(hosts, &HostCollection::rowsAboutToBeInserted, this,
        [this](int first, int last) { beginInsertRows({}, first, last); });
    connect(hosts, &HostCollection::rowsInserted, this, [this](int first, int last) {
        for (int i = first; i <= last; ++i)
            m_rows.insert(i, compute(i));
        endInsertRows();
    });
    connect(hosts, &HostCollection::rowsAboutToBeRemoved, this,
        [this](int first, int last) { beginRemoveRows({}, first, last); });
    connect(hosts, &HostCollection::rowsRemoved, this, [this](int first, int last) {
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
    });
    // A move keeps each row's selection and place in a view: persistent indexes follow the
    // probe they stood for.
    connect(hosts, &HostCollection::layoutAboutToBeChanged, this, [this] {
        emit layoutAboutToBeChanged();
        m_layoutIndexes = persistentIndexList();
        m_layoutProbes.clear();
        for (const QModelIndex &i : std::as_const(m_layoutIndexes))
            m_layoutProbes.append(m_hosts->at(i.row()).probe.data());
    });
    connect(hosts, &HostCollection::layoutChanged, this, [this] {
        m_rows.clear();
        for (int i = 0; i < m_hosts->count(); ++i)
            m_rows.append(compute(i));
        for (int k = 0; k < m_layoutIndexes.size(); ++k) {
            const int row = m_hosts->rowOf(static_cast<const HostProbe *>(m_layoutProbes.at(k)));
            const QModelIndex &from = m_layoutIndexes.at(k);
            changePersistentIndex(from, row < 0 ? QModelIndex() : index(row, from.column()));
        }
        m_layoutIndexes.clear();
        m_layoutProbes.clear();
        emit layoutChanged();
    });
    connect(hosts, &HostCollection::hostChanged, this, &HostTableModel::refresh);
}

HostTableModel::Row HostTableModel::compute(int row) const
{
    Row r;
    const HostProbe *p = m_hosts->at(row).probe.data();
    if (!p)
        return r;
    r.text = p->host();
    const Row *old = row < m_rows.size() ? &m_rows.at(row) : nullptr;
    r.parsed = old && old->text == r.text ? old->parsed : HostSpec::parse(r.text);
    r.state = p->state();
    const QList<EchoOutcome> &window = p->history().window();
    if (!window.isEmpty() && window.last().kind == EchoOutcome::Reply)
        r.rtt = window.last().rtt;
    r.hasReply = std::any_of(
        window.cbegin(), window.cend(), [](const EchoOutcome &o) { return o.kind == EchoOutcome::Reply; });
    r.lah = p->lowAvgHigh();
    r.figures = p->figures();
    r.downSince = p->isDown() ? p->downSince() : QDateTime();
    return r;
}

void HostTableModel::refresh(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    m_rows[row] = compute(row);
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

int HostTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int HostTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString HostTableModel::durationWords(qint64 s)
{
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    if (s < 86400)
        return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
    return QStringLiteral("%1 d %2 h").arg(s / 86400).arg(s % 86400 / 3600);
}

QVariant HostTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &r = m_rows.at(index.row());
    const bool figures = r.hasReply;
    switch (role) {
    case StateRole:
        return int(r.state);
    case LossRole:
        return r.figures.lossPercent;
    case RttRole:
        return r.rtt;
    case CapacityRole: {
        const HostProbe *p = m_hosts->at(index.row()).probe.data();
        return p ? p->history().capacity() : 0;
    }
    case PlaceRole:
        return int(m_hosts->at(index.row()).place);
    case ProbeRole:
        return QVariant::fromValue(static_cast<QObject *>(m_hosts->at(index.row()).probe.data()));
    case OutcomesRole: {
        const HostProbe *p = m_hosts->at(index.row()).probe.data();
        return p ? QVariant::fromValue(p->history().window()) : QVariant();
    }
    case Qt::ToolTipRole: {
        QString tip = r.text;
        if (!r.parsed.label.isEmpty() || r.parsed.hasOptions())
            tip += QStringLiteral("\nhost: %1").arg(r.parsed.address);
        if (r.parsed.hasOptions())
            tip += QStringLiteral("\ninterval %1, timeout %2")
                       .arg(Duration::format(r.parsed.intervalMs), Duration::format(r.parsed.timeoutMs));
        if (r.parsed.slowGiven)
            tip += QStringLiteral("\nslow above %1 ms").arg(r.parsed.slowMs);
        if (r.parsed.lossGiven)
            tip += QStringLiteral("\nlosing echoes above %1 %").arg(r.parsed.lossPercent);
        for (const QString &n : r.parsed.notes)
            tip += u'\n' + n;
        tip += QStringLiteral("\n%1: %2").arg(m_hosts->at(index.row()).name, HostState::words(r.state));
        if (index.column() == Results)
            tip += QStringLiteral("\nnewest result at the right; shade by round-trip time: "
                                  "1 ms light, 20 ms, 100 ms, 1000 ms and more dark");
        return tip;
    }
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        switch (Column(index.column())) {
        case State:
            return HostState::words(r.state);
        case Host:
            return r.parsed.address;
        case Label:
            return r.parsed.label;
        case Address: {
            const HostProbe *p = m_hosts->at(index.row()).probe.data();
            return p ? p->address() : QString();
        }
        case Rtt:
            return r.rtt < 0 ? QString() : ms(r.rtt);
        case Low:
            return figures ? ms(r.lah.low) : QString();
        case Avg:
            return figures ? ms(r.lah.avg) : QString();
        case High:
            return figures ? ms(r.lah.high) : QString();
        case Loss:
            return r.figures.results == 0 ? QString() : QStringLiteral("%1 %").arg(r.figures.lossPercent, 0, 'f', 1);
        case Jitter:
            return r.figures.jitter ? ms(int(*r.figures.jitter + 0.5)) : QString();
        case DownFor:
            if (!r.downSince.isValid())
                return QString();
            return QStringLiteral("since %1 (%2)")
                .arg(r.downSince.toString(QStringLiteral("HH:mm:ss")),
                    durationWords(std::max<qint64>(0, r.downSince.secsTo(AppClock::now()))));
        case Results:
        case ColumnCount:
            return role == Qt::AccessibleTextRole
                ? QStringLiteral("%1 results, %2 % lost").arg(r.figures.results).arg(r.figures.lossPercent, 0, 'f', 1)
                : QVariant();
        }
        return {};
    case SortRole:
        switch (Column(index.column())) {
        case State:
            return StateOrder::rank(r.state);
        case Host:
        case Label:
        case Address:
            return data(index, Qt::DisplayRole).toString().toLower();
        case Rtt:
            return r.rtt < 0 ? kNone : double(r.rtt);
        case Low:
            return figures ? double(r.lah.low) : kNone;
        case Avg:
            return figures ? double(r.lah.avg) : kNone;
        case High:
            return figures ? double(r.lah.high) : kNone;
        case Loss:
        case Results:
            return r.figures.results == 0 ? -1.0 : r.figures.lossPercent;
        case Jitter:
            return r.figures.jitter ? *r.figures.jitter : kNone;
        case DownFor:
            // Down longest first when ascending.
            return r.downSince.isValid() ? double(r.downSince.toMSecsSinceEpoch()) : kNone;
        case ColumnCount:
            break;
        }
        return {};
    case Qt::TextAlignmentRole:
        switch (Column(index.column())) {
        case Rtt:
        case Low:
        case Avg:
        case High:
        case Loss:
        case Jitter:
            return int(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
    return {};
}

QVariant HostTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    static const char *const names[ColumnCount]
        = { "State", "Host", "Label", "Address", "RTT", "Low", "Avg", "High", "Loss", "Jitter", "Down", "Results" };
    if (role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return QString::fromLatin1(names[section]);
    if (role == Qt::ToolTipRole && section == Results)
        return QStringLiteral("One cell per result, newest at the right.\n"
                              "Replies are shaded by round-trip time on a logarithmic scale:\n"
                              "light below 1 ms, then 20 ms, 100 ms, 1000 ms and above, darker each step.\n"
                              "Timeouts and answers from another address are drawn in their own colours and patterns.");
    if (role == Qt::ToolTipRole && section == State)
        return QStringLiteral("Click to sort problems first: lookup failed, down, degraded, then by loss and RTT");
    return {};
}

HostFilterModel::HostFilterModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
    setSortRole(HostTableModel::SortRole);
    setDynamicSortFilter(true);
}

void HostFilterModel::setStateFilter(std::optional<HostState::State> state)
{
    if (m_state == state)
        return;
    m_state = state;
    invalidateFilter();
}

void HostFilterModel::setPlaceFilter(std::optional<HostCollection::Place> place)
{
    if (m_place == place)
        return;
    m_place = place;
    invalidateFilter();
}

void HostFilterModel::setTextFilter(const QString &text)
{
    const QString t = text.trimmed();
    if (m_text == t)
        return;
    m_text = t;
    invalidateFilter();
}

bool HostFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QAbstractItemModel *m = sourceModel();
    if (m_place && m->index(sourceRow, 0, sourceParent).data(HostTableModel::PlaceRole).toInt() != int(*m_place))
        return false;
    if (m_state && m->index(sourceRow, 0, sourceParent).data(HostTableModel::StateRole).toInt() != int(*m_state))
        return false;
    if (m_text.isEmpty())
        return true;
    for (int c : { HostTableModel::Host, HostTableModel::Label, HostTableModel::Address })
        if (m->index(sourceRow, c, sourceParent).data().toString().contains(m_text, Qt::CaseInsensitive))
            return true;
    return false;
}

bool HostFilterModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    if (left.column() == HostTableModel::State) {
        const int a = left.data(HostTableModel::SortRole).toInt(), b = right.data(HostTableModel::SortRole).toInt();
        if (a != b)
            return a < b;
        // Within a state the worse host first, so ascending reads "problems first".
        const double la = left.data(HostTableModel::LossRole).toDouble(),
                     lb = right.data(HostTableModel::LossRole).toDouble();
        if (la != lb)
            return la > lb;
        return left.data(HostTableModel::RttRole).toInt() > right.data(HostTableModel::RttRole).toInt();
    }
    const QVariant a = left.data(HostTableModel::SortRole), b = right.data(HostTableModel::SortRole);
    if (a.typeId() == QMetaType::QString)
        return a.toString() < b.toString();
    return a.toDouble() < b.toDouble();
}
