#include "historyform.h"

#include "appclock.h"
#include "outages.h"
#include "skylarkerror.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace {

constexpr qint64 kDayMs = 86400000;
constexpr int kLeftMargin = 56;
constexpr int kRightMargin = 12;
constexpr int kTopMargin = 8;
// The strip under the RTTs where misses and loss are marked.
constexpr int kLossStrip = 14;
// Room between the RTTs and the strip, so that the labels "0 ms" and "loss" stay apart.
constexpr int kLossGap = 8;

bool isDark(const QWidget *w)
{
    return w->palette().color(QPalette::Base).lightness() < 128;
}

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A round step for the RTT axis, in microseconds.
qint64 niceStep(qint64 highUs)
{
    const double raw = double(std::max<qint64>(highUs, 1000)) / 4.0;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : { 1.0, 2.0, 5.0, 10.0 })
        if (m * p >= raw)
            return qint64(m * p);
    return qint64(10 * p);
}

// Steps of the time axis, from ten seconds to a week.
qint64 timeStep(qint64 spanMs, int pixels)
{
    static const qint64 steps[] = { 10000, 30000, 60000, 120000, 300000, 600000, 1800000, 3600000, 3 * 3600000,
        6 * 3600000, 12 * 3600000, kDayMs, 2 * kDayMs, 7 * kDayMs, 14 * kDayMs, 28 * kDayMs, 91 * kDayMs };
    const qint64 wanted = spanMs * 110 / std::max(pixels, 1); // a label at least 110 pixels apart
    for (qint64 s : steps)
        if (s >= wanted)
            return s;
    return 182 * kDayMs;
}

} // namespace

// --- The chart ---------------------------------------------------------------------------

THistoryChart::THistoryChart(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Chart"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 160);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

QColor THistoryChart::replyColour(bool dark)
{
    return dark ? QColor(90, 210, 90) : QColor(0, 128, 0);
}

QColor THistoryChart::foreignColour(bool dark)
{
    // The frame chart's orange, darker on a light background to stay at 3:1.
    return dark ? QColor(255, 140, 0) : QColor(200, 90, 0);
}

QColor THistoryChart::missColour(bool dark)
{
    return dark ? QColor(255, 90, 90) : QColor(220, 0, 0);
}

QColor THistoryChart::bandColour(bool dark)
{
    return dark ? QColor(60, 140, 60) : QColor(90, 160, 90);
}

void THistoryChart::setView(const HistoryRange::View &view)
{
    m_view = view;
    update();
}

QRect THistoryChart::plotRect() const
{
    const int bottom = fontMetrics().height() * 2 + 6;
    return QRect(kLeftMargin, kTopMargin, std::max(1, width() - kLeftMargin - kRightMargin),
        std::max(1, height() - kTopMargin - bottom));
}

int THistoryChart::plotWidth() const
{
    return plotRect().width();
}

qint64 THistoryChart::timeAt(int x) const
{
    const QRect r = plotRect();
    const double f = qBound(0.0, double(x - r.left()) / r.width(), 1.0);
    return m_view.fromMs + qint64(f * double(m_view.toMs - m_view.fromMs));
}

QString THistoryChart::axisLabel(qint64 ms, qint64 fromMs, qint64 toMs)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms);
    const bool crosses = QDateTime::fromMSecsSinceEpoch(fromMs).date()
        != QDateTime::fromMSecsSinceEpoch(std::max(fromMs, toMs - 1)).date();
    const QString time = at.toString(toMs - fromMs <= 600000 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
    return crosses ? time + u'\n' + at.toString(QStringLiteral("yyyy-MM-dd")) : time;
}

void THistoryChart::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const bool dark = isDark(this);
    const QRect r = plotRect();
    const QColor text = palette().color(QPalette::Text);
    QColor grid = text;
    grid.setAlpha(50);
    const QRect rtts(r.left(), r.top(), r.width(), r.height() - kLossStrip - kLossGap);
    const QRect loss(r.left(), rtts.bottom() + kLossGap + 1, r.width(), kLossStrip);
    const qint64 span = std::max<qint64>(1, m_view.toMs - m_view.fromMs);

    // The RTT axis, from 0 to a round value above the highest RTT.
    const qint64 step = niceStep(m_view.highestUs);
    const qint64 top = std::max<qint64>(step * 4, (m_view.highestUs / step + 1) * step);
    auto yOf = [&](qint64 us) { return rtts.bottom() - int(double(us) / double(top) * (rtts.height() - 1)); };
    p.setPen(text);
    for (qint64 v = 0; v <= top; v += step) {
        const int y = yOf(v);
        p.setPen(grid);
        p.drawLine(rtts.left(), y, rtts.right(), y);
        p.setPen(text);
        const QString label = QStringLiteral("%1 ms").arg(double(v) / 1000.0, 0, 'g', 4);
        p.drawText(QRect(0, y - 8, kLeftMargin - 4, 16), Qt::AlignRight | Qt::AlignVCenter, label);
    }
    p.drawText(QRect(0, loss.top(), kLeftMargin - 4, loss.height()), Qt::AlignRight | Qt::AlignVCenter,
        QStringLiteral("loss"));
    p.setPen(grid);
    p.drawRect(loss.adjusted(0, 0, -1, -1));

    // The time axis.
    const qint64 tStep = timeStep(span, r.width());
    const qint64 offset = QDateTime::fromMSecsSinceEpoch(m_view.fromMs).offsetFromUtc() * 1000LL;
    qint64 t = ((m_view.fromMs + offset) / tStep + 1) * tStep - offset;
    for (; t < m_view.toMs; t += tStep) {
        const int x = r.left() + int(double(t - m_view.fromMs) / span * r.width());
        p.setPen(grid);
        p.drawLine(x, r.top(), x, loss.bottom());
        p.setPen(text);
        p.drawText(QRect(x - 60, loss.bottom() + 2, 120, height() - loss.bottom() - 2), Qt::AlignHCenter | Qt::AlignTop,
            axisLabel(t, m_view.fromMs, m_view.toMs));
    }

    p.setClipRect(r.adjusted(0, 0, 1, 1));
    p.setRenderHint(QPainter::Antialiasing, m_view.raw);
    if (m_view.raw) {
        const QColor reply = replyColour(dark), foreign = foreignColour(dark), miss = missColour(dark);
        for (const HistoryRange::Point &pt : m_view.points) {
            const int x = r.left() + int(double(pt.timeMs - m_view.fromMs) / span * r.width());
            switch (pt.kind) {
            case History::Kind::Reply:
                p.setPen(Qt::NoPen);
                p.setBrush(reply);
                p.drawEllipse(QPoint(x, yOf(pt.rttUs)), 2, 2);
                break;
            case History::Kind::Foreign: {
                // A triangle: an answer, but from another address.
                const int y = yOf(pt.rttUs);
                QPainterPath tri;
                tri.moveTo(x, y - 3);
                tri.lineTo(x + 3, y + 2);
                tri.lineTo(x - 3, y + 2);
                tri.closeSubpath();
                p.fillPath(tri, foreign);
                break;
            }
            default: {
                // A cross in the loss strip.
                p.setPen(QPen(miss, 1.5));
                const int y = loss.center().y();
                p.drawLine(x - 3, y - 3, x + 3, y + 3);
                p.drawLine(x - 3, y + 3, x + 3, y - 3);
                break;
            }
            }
        }
    } else {
        const QColor band = bandColour(dark), mean = replyColour(dark), miss = missColour(dark);
        const int n = int(m_view.columns.size());
        QPoint last(-1, -1);
        for (int i = 0; i < n; ++i) {
            const HistoryRange::Column &c = m_view.columns.at(i);
            if (c.count == 0) {
                last = QPoint(-1, -1);
                continue;
            }
            const int x = r.left() + int(double(i) / n * r.width());
            // Each column as wide as its share of the chart, should the width have changed
            // since it was read.
            const int w = std::max(1, r.left() + int(double(i + 1) / n * r.width()) - x);
            if (c.replies > 0) {
                p.fillRect(QRect(QPoint(x, yOf(c.highUs)), QPoint(x + w - 1, yOf(c.lowUs))), band);
                const QPoint m(x, yOf(c.meanUs));
                p.setPen(QPen(mean, 1.5));
                if (last.x() >= 0)
                    p.drawLine(last, m);
                else
                    p.drawPoint(m);
                last = m;
            } else {
                last = QPoint(-1, -1);
            }
            if (c.replies < c.count) {
                // The bar's height is the share of results lost; any loss shows at least a tick.
                const double share = double(c.count - c.replies) / c.count;
                const int h = std::max(2, int(std::round(share * (loss.height() - 2))));
                p.fillRect(QRect(QPoint(x, loss.bottom() - h), QPoint(x + w - 1, loss.bottom() - 1)), miss);
            }
        }
    }
}

void THistoryChart::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    if (e->oldSize().width() != e->size().width())
        emit widthChanged();
}

void THistoryChart::wheelEvent(QWheelEvent *e)
{
    const int delta = e->angleDelta().y();
    if (delta == 0)
        return;
    emit zoomRequested(delta > 0 ? 0.8 : 1.25, timeAt(int(e->position().x())));
    e->accept();
}

void THistoryChart::keyPressEvent(QKeyEvent *e)
{
    const qint64 middle = m_view.fromMs + (m_view.toMs - m_view.fromMs) / 2;
    switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        emit zoomRequested(0.5, middle);
        break;
    case Qt::Key_Minus:
        emit zoomRequested(2.0, middle);
        break;
    case Qt::Key_Left:
        emit panRequested(-0.25);
        break;
    case Qt::Key_Right:
        emit panRequested(0.25);
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
}

void THistoryChart::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragFrom = e->position().toPoint();
        setCursor(Qt::ClosedHandCursor);
    }
    QWidget::mousePressEvent(e);
}

void THistoryChart::mouseMoveEvent(QMouseEvent *e)
{
    if (!m_dragging)
        return;
    const int dx = e->position().toPoint().x() - m_dragFrom.x();
    if (dx == 0)
        return;
    m_dragFrom = e->position().toPoint();
    // Dragging to the right brings earlier times into view.
    emit panByMs(-qint64(double(dx) / plotRect().width() * double(m_view.toMs - m_view.fromMs)));
}

void THistoryChart::mouseReleaseEvent(QMouseEvent *e)
{
    m_dragging = false;
    unsetCursor();
    QWidget::mouseReleaseEvent(e);
}

// --- The window --------------------------------------------------------------------------

THistoryForm::THistoryForm(const QString &dir, const QString &identity, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_dir(dir)
    , m_identity(identity)
    , m_follow(new QTimer(this))
{
    setObjectName(QStringLiteral("HistoryForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("History of %1").arg(identity));
    auto *v = new QVBoxLayout(this);

    auto *top = new QHBoxLayout;
    HostLbl = new QLabel(identity, this);
    HostLbl->setObjectName(QStringLiteral("HostLbl"));
    HostLbl->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(HostLbl, 1);
    auto preset = [&](QPushButton *&b, const char *name, const QString &caption, qint64 span) {
        b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, span] { showLast(span); });
        top->addWidget(b);
    };
    preset(Preset1hBtn, "Preset1hBtn", QStringLiteral("1 h"), 3600000);
    preset(Preset24hBtn, "Preset24hBtn", QStringLiteral("24 h"), kDayMs);
    preset(Preset7dBtn, "Preset7dBtn", QStringLiteral("7 d"), 7 * kDayMs);
    preset(Preset30dBtn, "Preset30dBtn", QStringLiteral("30 d"), 30 * kDayMs);
    v->addLayout(top);

    RangeLbl = new QLabel(this);
    RangeLbl->setObjectName(QStringLiteral("RangeLbl"));
    v->addWidget(RangeLbl);
    Chart = new THistoryChart(this);
    v->addWidget(Chart, 3);
    auto *legend = new QLabel(
        QStringLiteral("Dot: reply; triangle: reply from another address; cross or bar under the chart: no reply. "
                       "Wheel or +/-: zoom; drag or arrow keys: move."),
        this);
    legend->setObjectName(QStringLiteral("LegendLbl"));
    legend->setWordWrap(true);
    v->addWidget(legend);

    OutagesList = new QTreeWidget(this);
    OutagesList->setObjectName(QStringLiteral("OutagesList"));
    OutagesList->setRootIsDecorated(false);
    OutagesList->setUniformRowHeights(true);
    OutagesList->setHeaderLabels(
        { QStringLiteral("Start"), QStringLiteral("End"), QStringLiteral("Duration"), QStringLiteral("Kind") });
    OutagesList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    v->addWidget(OutagesList, 2);

    auto *bottom = new QHBoxLayout;
    StatusLbl = new QLabel(this);
    StatusLbl->setObjectName(QStringLiteral("StatusLbl"));
    bottom->addWidget(StatusLbl, 1);
    ExportResultsBtn = new QPushButton(QStringLiteral("Export &Results..."), this);
    ExportResultsBtn->setObjectName(QStringLiteral("ExportResultsBtn"));
    ExportOutagesBtn = new QPushButton(QStringLiteral("Export &Outages..."), this);
    ExportOutagesBtn->setObjectName(QStringLiteral("ExportOutagesBtn"));
    CloseBtn = new QPushButton(QStringLiteral("&Close"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    for (QPushButton *b : { ExportResultsBtn, ExportOutagesBtn, CloseBtn }) {
        b->setAutoDefault(false);
        bottom->addWidget(b);
    }
    v->addLayout(bottom);
    connect(ExportResultsBtn, &QPushButton::clicked, this, [this] { askExport(HistoryExport::Rows::Results); });
    connect(ExportOutagesBtn, &QPushButton::clicked, this, [this] { askExport(HistoryExport::Rows::Outages); });
    connect(CloseBtn, &QPushButton::clicked, this, &QWidget::close);

    connect(Chart, &THistoryChart::zoomRequested, this, &THistoryForm::zoom);
    connect(Chart, &THistoryChart::panRequested, this,
        [this](double fraction) { pan(qint64(fraction * double(m_to - m_from))); });
    connect(Chart, &THistoryChart::panByMs, this, &THistoryForm::pan);
    // A resize reads the view again for its new width, once the resizing pauses.
    auto *widthTimer = new QTimer(this);
    widthTimer->setSingleShot(true);
    widthTimer->setInterval(150);
    connect(Chart, &THistoryChart::widthChanged, widthTimer, qOverload<>(&QTimer::start));
    connect(widthTimer, &QTimer::timeout, this, [this] {
        if (!Chart->view().raw && Chart->view().columns.size() != Chart->plotWidth())
            reload();
    });
    // While the range ends at the present, it moves with it.
    m_follow->setInterval(5000);
    connect(m_follow, &QTimer::timeout, this, [this] {
        if (m_to >= now() - m_follow->interval() - 1000)
            setRange(m_from + now() - m_to, now());
    });
    m_follow->start();

    resize(780, 560);
    openStore();
    showLast(3600000);
    Chart->setFocus();
}

THistoryForm::~THistoryForm()
{
    // A search under way ends by itself; its answer finds no window.
    if (m_outagesWorker)
        m_outagesWorker->wait();
}

qint64 THistoryForm::now() const
{
    return AppClock::now().toMSecsSinceEpoch();
}

bool THistoryForm::openStore()
{
    if (m_store && m_hostId != 0)
        return true;
    auto store = std::make_unique<HistoryStore>();
    QString error;
    if (!store->openForReading(m_dir, &error)) {
        StatusLbl->setText(error + u'.');
        return false;
    }
    for (const HistoryStore::Host &h : store->hosts()) {
        if (h.identity == m_identity) {
            m_hostId = h.id;
            break;
        }
    }
    m_store = std::move(store);
    if (m_hostId == 0) {
        StatusLbl->setText(QStringLiteral("Nothing is kept of this host yet."));
        return false;
    }
    StatusLbl->clear();
    return true;
}

qint64 THistoryForm::earliestMs() const
{
    const qint64 e = m_store && m_hostId ? m_store->earliestMs(m_hostId) : -1;
    return e >= 0 ? e : now();
}

void THistoryForm::setRange(qint64 fromMs, qint64 toMs)
{
    const qint64 present = now();
    const qint64 earliest = std::min(earliestMs(), present);
    const qint64 longest = std::max(kMinSpanMs, present - earliest);
    const qint64 span = qBound(kMinSpanMs, toMs - fromMs, longest);
    // Kept within what is kept: not past now, nor before the earliest result.
    qint64 to = std::min(fromMs + span, present);
    if (to - span < earliest)
        to = std::min(earliest + span, present);
    m_from = to - span;
    m_to = to;
    reload();
}

void THistoryForm::showLast(qint64 spanMs)
{
    const qint64 present = now();
    setRange(present - spanMs, present);
}

void THistoryForm::zoom(double factor, qint64 aroundMs)
{
    const double span = double(m_to - m_from);
    const double before = double(aroundMs - m_from) / span;
    const qint64 newSpan = std::max<qint64>(kMinSpanMs, qint64(span * factor));
    const qint64 from = aroundMs - qint64(before * double(newSpan));
    setRange(from, from + newSpan);
}

void THistoryForm::pan(qint64 ms)
{
    setRange(m_from + ms, m_to + ms);
}

void THistoryForm::reload()
{
    RangeLbl->setText(QStringLiteral("%1 to %2").arg(timeText(m_from), timeText(m_to)));
    if (!openStore()) {
        Chart->setView({ m_from, m_to, false, {}, {}, 0 });
        OutagesList->clear();
        return;
    }
    Chart->setView(HistoryRange::load(*m_store, m_hostId, m_from, m_to, Chart->plotWidth()));
    fillOutages();
}

QString THistoryForm::durationText(qint64 ms)
{
    const qint64 s = std::max<qint64>(0, ms) / 1000;
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    if (s < 86400)
        return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 d %2 h").arg(s / 86400).arg(s / 3600 % 24);
}

// The outages of a long range of a lossy host take a while (every result of its minutes with
// misses is read): they are found on a thread of their own, with a connection of its own, one
// search at a time; a range asked for meanwhile is searched once the running one is done.
void THistoryForm::fillOutages()
{
    ++m_outagesWanted;
    if (m_outagesWorker)
        return;
    const quint64 ticket = m_outagesWanted;
    const QString dir = m_dir;
    const qint64 host = m_hostId, from = m_from, to = m_to;
    QPointer<THistoryForm> self(this);
    m_outagesWorker = QThread::create([self, ticket, dir, host, from, to] {
        HistoryStore store;
        QString error;
        QList<History::Outage> found;
        if (store.openForReading(dir, &error)) {
            const qint64 liveRun = store.writerActive() ? store.latestRun() : 0;
            found = store.outages(host, from, to, liveRun, kMaxOutagesShown);
        }
        QMetaObject::invokeMethod(
            qApp,
            [self, ticket, found] {
                if (self)
                    self->outagesFound(ticket, found);
            },
            Qt::QueuedConnection);
    });
    m_outagesWorker->setObjectName(QStringLiteral("history outages"));
    connect(m_outagesWorker, &QThread::finished, m_outagesWorker, &QObject::deleteLater);
    m_outagesWorker->start(QThread::LowPriority);
}

void THistoryForm::outagesFound(quint64 ticket, const QList<History::Outage> &found)
{
    if (m_outagesWorker)
        m_outagesWorker->wait();
    m_outagesWorker = nullptr;
    if (ticket != m_outagesWanted) {
        // The range changed meanwhile.
        --m_outagesWanted;
        fillOutages();
        return;
    }
    OutagesList->clear();
    QList<QTreeWidgetItem *> items;
    // Newest first.
    for (auto it = found.crbegin(); it != found.crend(); ++it) {
        const History::Outage &o = *it;
        QStringList texts;
        switch (o.state) {
        case History::Outage::State::Ongoing:
            texts << QStringLiteral("since %1").arg(timeText(o.startMs)) << QString()
                  << durationText(o.durationMs + std::max<qint64>(0, now() - o.lastMs)) << History::kindName(o.kind);
            break;
        case History::Outage::State::Cut:
            texts << timeText(o.startMs) << timeText(o.endMs) << durationText(o.durationMs)
                  << History::kindName(o.kind) + QStringLiteral(", cut by the end of a run");
            break;
        case History::Outage::State::Ended:
            texts << timeText(o.startMs) << timeText(o.endMs) << durationText(o.durationMs)
                  << History::kindName(o.kind);
            break;
        }
        items.append(new QTreeWidgetItem(texts));
    }
    OutagesList->addTopLevelItems(items);
    if (found.size() >= kMaxOutagesShown)
        StatusLbl->setText(QStringLiteral("The newest %1 outages of the range are listed.").arg(kMaxOutagesShown));
}

void THistoryForm::keyPressEvent(QKeyEvent *e)
{
    // The chart's keys work from anywhere in the window but the list.
    if (!OutagesList->hasFocus()) {
        switch (e->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
        case Qt::Key_Minus:
        case Qt::Key_Left:
        case Qt::Key_Right:
            QCoreApplication::sendEvent(Chart, e);
            return;
        default:
            break;
        }
    }
    if (e->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

void THistoryForm::askExport(HistoryExport::Rows rows)
{
    QFileDialog dialog(this,
        rows == HistoryExport::Rows::Outages ? QStringLiteral("Export Outages") : QStringLiteral("Export Results"));
    dialog.setObjectName(QStringLiteral("HistoryExportDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({ QStringLiteral("CSV files (*.csv)"), QStringLiteral("All files (*)") });
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    QString name = m_identity.section(u' ', 0, 0);
    name.replace(u'/', u'_');
    dialog.selectFile(name
        + (rows == HistoryExport::Rows::Outages ? QStringLiteral("-outages.csv") : QStringLiteral("-results.csv")));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    exportTo(dialog.selectedFiles().constFirst(), rows);
}

bool THistoryForm::exportTo(const QString &fileName, HistoryExport::Rows rows)
{
    HistoryExport::Request request;
    request.dir = m_dir;
    request.hosts = QStringList { m_identity };
    request.from = HistoryExport::formatTime(m_from);
    request.to = HistoryExport::formatTime(m_to);
    request.rows = rows;
    QString csv, errors;
    QTextStream out(&csv), err(&errors);
    const int code = HistoryExport::run(request, out, err, now());
    QSaveFile file(fileName);
    const QByteArray bytes = csv.toUtf8();
    const bool written
        = code == 0 && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!written) {
        file.cancelWriting();
        ErrorDisplay::show(code != 0 ? errors.trimmed() : QStringLiteral("Unable to write to %1").arg(fileName));
        return false;
    }
    StatusLbl->setText(QStringLiteral("Written to %1.").arg(fileName));
    return true;
}
