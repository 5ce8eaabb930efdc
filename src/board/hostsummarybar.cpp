#include "hostsummarybar.h"

#include "frameboard.h"
#include "hostoverview.h"
#include "hostsummary.h"
#include "hosttablemodel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace {
// Thousands of hosts answer every second: the line is counted at most this often.
constexpr int kRecountMs = 250;
} // namespace

THostSummaryBar::THostSummaryBar(TFrameBoard *board, QWidget *parent)
    : QWidget(parent)
    , m_board(board)
    , m_label(new QLabel(this))
    , m_filter(new QLineEdit(this))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("HostSummaryBar"));
    m_label->setObjectName(QStringLiteral("HostSummary"));
    m_label->setTextFormat(Qt::RichText);
    m_label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_label->setFocusPolicy(Qt::TabFocus);
    m_filter->setObjectName(QStringLiteral("HostFilter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter hosts"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setToolTip(QStringLiteral("Shows the hosts whose name, label or address contains this text"));
    m_filter->setMaximumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 30);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(m_label, 1);
    layout->addWidget(m_filter);

    m_timer->setSingleShot(true);
    m_timer->setInterval(kRecountMs);
    connect(m_timer, &QTimer::timeout, this, &THostSummaryBar::refresh);
    const auto later = [this] {
        if (!m_timer->isActive())
            m_timer->start();
    };
    HostCollection *hosts = board->Hosts();
    connect(hosts, &HostCollection::hostChanged, this, later);
    connect(hosts, &HostCollection::rowsInserted, this, later);
    connect(hosts, &HostCollection::rowsRemoved, this, later);
    connect(hosts, &HostCollection::layoutChanged, this, later);
    connect(m_label, &QLabel::linkActivated, this, [this](const QString &link) {
        const int s = link.mid(int(qstrlen("state:"))).toInt();
        const auto state = HostState::State(s);
        setStateFilter(m_state == state ? std::nullopt : std::optional(state));
    });
    connect(m_filter, &QLineEdit::textChanged, this, &THostSummaryBar::applyFilters);
    connect(board, &TFrameBoard::overviewShown, this, &THostSummaryBar::applyFilters);
    refresh();
}

QString THostSummaryBar::text() const
{
    return m_text;
}

void THostSummaryBar::setStateFilter(std::optional<HostState::State> state)
{
    m_state = state;
    refresh();
    applyFilters();
}

void THostSummaryBar::applyFilters()
{
    for (int k : { 1, 2 })
        if (THostOverview *o = m_board->overview(k)) {
            o->filter()->setStateFilter(m_state);
            o->filter()->setTextFilter(m_filter->text());
        }
}

void THostSummaryBar::refresh()
{
    m_timer->stop();
    HostSummary summary;
    const HostTableModel *model = m_board->HostModel();
    const HostCollection *hosts = m_board->Hosts();
    // Ping windows are windows of their own and not counted.
    for (int row = 0; row < hosts->count(); ++row)
        if (hosts->at(row).place != HostCollection::Place::Window)
            summary.add(model->stateAt(row));
    m_text = summary.text();
    // The same words, each count a link that filters by its state; the state filtered by is
    // underlined twice over: bold as well.
    QString html = summary.hosts == 1 ? QStringLiteral("1 host") : QStringLiteral("%1 hosts").arg(summary.hosts);
    for (HostState::State s : summary.shownStates()) {
        const QString words = QStringLiteral("%1 %2").arg(summary.count(s)).arg(StateOrder::shortWords(s));
        const QString link = QStringLiteral("<a href=\"state:%1\">%2</a>").arg(int(s)).arg(words.toHtmlEscaped());
        html += QStringLiteral(" · ") + (m_state == s ? QStringLiteral("<b>%1</b>").arg(link) : link);
    }
    if (m_state && !summary.shownStates().contains(*m_state))
        html += QStringLiteral(" · <a href=\"state:%1\"><b>showing %2 only</b></a>")
                    .arg(int(*m_state))
                    .arg(StateOrder::shortWords(*m_state));
    m_label->setText(html);
}
