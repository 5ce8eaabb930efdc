#include "hostoverview.h"

#include "hostprobe.h"
#include "hostsummary.h"
#include "hosttablemodel.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

namespace {

bool isDark(const QPalette &pal)
{
    return pal.color(QPalette::Base).lightness() < 128;
}

class StateDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const int state = index.data(HostTableModel::StateRole).toInt();
        opt.text = QString();
        opt.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opt, p, opt.widget);
        const QRect r = opt.rect.adjusted(2, 2, -2, -2);
        const int chip = r.height();
        const QRect chipRect(r.left(), r.top(), chip, chip);
        const bool dark = isDark(opt.palette);
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        p->setBrush(QColor::fromRgb(HostState::colour(HostState::State(state), dark)));
        p->setPen(QPen(opt.palette.color(QPalette::Text), 1));
        p->drawRoundedRect(chipRect.adjusted(0, 0, -1, -1), 3, 3);
        p->setPen(QColor::fromRgb(HostState::colour(HostState::State(state), dark)).lightness() > 140 ? Qt::black
                                                                                                      : Qt::white);
        p->drawText(chipRect, Qt::AlignCenter, THostOverview::glyph(state));
        p->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        p->drawText(r.adjusted(chip + 4, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
            opt.fontMetrics.elidedText(
                StateOrder::shortWords(HostState::State(state)), Qt::ElideRight, r.width() - chip - 4));
        p->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        const QFontMetrics &fm = option.fontMetrics;
        return { fm.height() + 8 + fm.horizontalAdvance(QStringLiteral("lookup failed")), fm.height() + 6 };
    }
};

class StripDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opt, p, opt.widget);
        const QList<EchoOutcome> window = index.data(HostTableModel::OutcomesRole).value<QList<EchoOutcome>>();
        const QRect strip = opt.rect.adjusted(2, 3, -2, -3);
        if (strip.width() <= 0 || window.isEmpty())
            return;
        const bool dark = isDark(opt.palette);
        // A cell for each result kept, at least 3 px: the newest that fit, newest at the right.
        const int kept = std::max<int>(index.data(HostTableModel::CapacityRole).toInt(), int(window.size()));
        const int cell = std::max(3, strip.width() / std::max(1, kept));
        const int shown = std::min<int>(int(window.size()), strip.width() / cell);
        int x = strip.right() + 1 - shown * cell;
        const QColor line = QColor::fromRgb(HostState::outline(dark));
        for (qsizetype i = window.size() - shown; i < window.size(); ++i, x += cell) {
            const EchoOutcome &o = window.at(i);
            const QRect c(x, strip.top(), cell, strip.height());
            p->fillRect(c, QColor::fromRgb(THostOverview::cellColour(o.kind, o.rtt, dark)));
            // Another address answered: a band across, so it differs by more than its hue.
            if (o.kind == EchoOutcome::Foreign)
                p->fillRect(QRect(c.left(), c.center().y() - 1, c.width(), 3), line);
        }
        p->setPen(line);
        p->drawRect(QRect(x - shown * cell - 1, strip.top() - 1, shown * cell + 1, strip.height() + 1));
    }
};

} // namespace

std::uint32_t THostOverview::cellColour(EchoOutcome::Kind kind, int rtt, bool dark)
{
    // The strip's shades from fast to slow, placed on a logarithmic scale from 1 ms to 1000 ms
    // so that 1, 20, 100 and 1000 ms each get a shade of their own.
    const int position = int(std::lround(1000.0 * std::clamp(std::log10(std::max(rtt, 1)) / 3.0, 0.0, 1.0)));
    return CompactRow::cellColour(kind, position, 1000, dark);
}

QString THostOverview::glyph(int state)
{
    switch (HostState::State(state)) {
    case HostState::State::Up:
        return QStringLiteral("✓");
    case HostState::State::Degraded:
        return QStringLiteral("!");
    case HostState::State::Slow:
        return QStringLiteral("◷");
    case HostState::State::Lossy:
        return QStringLiteral("⋮");
    case HostState::State::Down:
        return QStringLiteral("✕");
    case HostState::State::LookupFailed:
        return QStringLiteral("?");
    case HostState::State::Waiting:
        return QStringLiteral("…");
    case HostState::State::Stopped:
        return QStringLiteral("–");
    }
    return QString();
}

THostOverview::THostOverview(HostTableModel *model, HostCollection::Place place, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_filter(new HostFilterModel(this))
    , m_view(new QTableView(this))
{
    setObjectName(QStringLiteral("HostOverview"));
    m_filter->setSourceModel(model);
    m_filter->setPlaceFilter(place);
    m_view->setObjectName(QStringLiteral("HostOverviewView"));
    m_view->setModel(m_filter);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSortingEnabled(true);
    // Unsorted until a header is clicked: the board's own order.
    m_view->horizontalHeader()->setSortIndicatorClearable(true);
    m_view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_view->verticalHeader()->hide();
    m_view->setWordWrap(false);
    m_view->setShowGrid(false);
    m_view->setAlternatingRowColors(true);
    const QFontMetrics fm = fontMetrics();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(fm.height() + 6);
    m_view->setItemDelegateForColumn(HostTableModel::State, new StateDelegate(m_view));
    m_view->setItemDelegateForColumn(HostTableModel::Results, new StripDelegate(m_view));
    QHeaderView *h = m_view->horizontalHeader();
    h->setSectionResizeMode(QHeaderView::Interactive);
    h->setStretchLastSection(true);
    const auto width = [&](const QString &sample) { return fm.horizontalAdvance(sample) + 16; };
    h->resizeSection(HostTableModel::State, fm.height() + 12 + fm.horizontalAdvance(QStringLiteral("lookup failed")));
    h->resizeSection(HostTableModel::Host, width(QStringLiteral("255.255.255.255xx")));
    h->resizeSection(HostTableModel::Label, width(QStringLiteral("a label of a host")));
    h->resizeSection(HostTableModel::Address, width(QStringLiteral("255.255.255.255")));
    for (int c : { HostTableModel::Rtt, HostTableModel::Low, HostTableModel::Avg, HostTableModel::High })
        h->resizeSection(c, width(QStringLiteral("4000 ms")));
    h->resizeSection(HostTableModel::Loss, width(QStringLiteral("100.0 %")));
    h->resizeSection(HostTableModel::Jitter, width(QStringLiteral("4000 ms")));
    h->resizeSection(HostTableModel::DownFor, width(QStringLiteral("since 00:00:00 (59 min 59 s)")));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    connect(m_view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &i) {
        if (HostProbe *p = probeAt(i))
            emit activated(p);
    });
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
}

HostProbe *THostOverview::probeAt(const QModelIndex &proxyIndex) const
{
    if (!proxyIndex.isValid())
        return nullptr;
    return qobject_cast<HostProbe *>(proxyIndex.data(HostTableModel::ProbeRole).value<QObject *>());
}

HostProbe *THostOverview::currentProbe() const
{
    return probeAt(m_view->currentIndex());
}

bool THostOverview::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(event);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            if (HostProbe *p = currentProbe()) {
                emit activated(p);
                return true;
            }
        }
    }
    if (event->type() == QEvent::ContextMenu && (watched == m_view || watched == m_view->viewport())) {
        auto *c = static_cast<QContextMenuEvent *>(event);
        QModelIndex i = m_view->currentIndex();
        QPoint global = c->globalPos();
        if (c->reason() == QContextMenuEvent::Mouse) {
            i = m_view->indexAt(m_view->viewport()->mapFromGlobal(c->globalPos()));
            if (i.isValid())
                m_view->setCurrentIndex(i);
        } else if (i.isValid()) {
            global = m_view->viewport()->mapToGlobal(m_view->visualRect(i).center());
        }
        if (HostProbe *p = probeAt(i)) {
            emit menuRequested(p, global);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
