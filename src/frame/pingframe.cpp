#include "pingframe.h"

#include "appclock.h"
#include "compactrow.h"
#include "hostprobe.h"
#include "pingchart.h"
#include "popupmenu.h"
#include "skylarkerror.h"
#include "splitterbar.h"
#include "wsocket.h"

#include <algorithm>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const QColor kGreen(0, 128, 0);
const QColor kOrange(255, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);
const QString kNoTimeout = QStringLiteral("00:00:00");
const QString kTimeFormat = QStringLiteral("hh:mm:ss");
// The widest texts the top bar's labels and the host edit must show whole.
const QString kWidestStatus = QStringLiteral("Low: 4000  Avg: 4000  High: 4000");
const QString kWidestAddress = QStringLiteral("255.255.255.255");
const QString kDnsError = QStringLiteral("DNS Error!");
constexpr int kTopBarHeight = 25;
constexpr int kDesignedHostWidth = 75; // the host edit's designed width
constexpr int kMaxNestedEventPasses = 8;
constexpr int kMSecsPerDay = 24 * 60 * 60 * 1000;

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, Qt::Alignment align = Qt::AlignCenter)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAlignment(align);
    // Opaque: a new text repaints the label alone, not the frame and the board beneath it.
    // The fill is the background the label sits on, as it takes its parents' role.
    l->setAutoFillBackground(true);
    return l;
}

// The stripe: filled with the state's colour (Window) inside an outline (WindowText) that
// stands out from the window in every look; slow and losing echoes draw their pattern across
// it in the outline's colour.
class StateStripe : public QWidget
{
public:
    using QWidget::QWidget;
    HostState::Pattern pattern = HostState::Pattern::Plain;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Window));
        const QColor line = palette().color(QPalette::WindowText);
        // Bars: a 2 px bar every 8 px; dots: a 2 px dot every 6 px, in the middle.
        if (pattern == HostState::Pattern::Bars)
            for (int y = 6; y + 2 < height(); y += 8)
                p.fillRect(QRect(0, y, width(), 2), line);
        else if (pattern == HostState::Pattern::Dots)
            for (int y = 4; y + 2 < height(); y += 6)
                p.fillRect(QRect(width() / 2 - 1, y, 2, 2), line);
        p.setPen(line);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

// The width a line edit needs to show `text` whole: the text, the two pixels Qt keeps on
// either side of it, the text margins and the style's frame.
int lineEditWidthFor(const QLineEdit *edit, const QString &text)
{
    QStyleOptionFrame opt;
    opt.initFrom(edit);
    opt.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit) : 0;
    opt.midLineWidth = 0;
    opt.state |= QStyle::State_Sunken;
    const QMargins m = edit->textMargins();
    const QFontMetrics fm = edit->fontMetrics();
    const QSize contents(fm.horizontalAdvance(text) + 2 * 2 + m.left() + m.right(), fm.height());
    return edit->style()->sizeFromContents(QStyle::CT_LineEdit, &opt, contents, edit).width();
}
} // namespace

TPingFrame::TPingFrame(QWidget *parent)
    : QFrame(parent)
{
    resize(kDesignedWidth, kDesignedHeight);
    setFrameShape(QFrame::StyledPanel);
    setMinimumSize(0, 0);

    m_probe = new HostProbe(this);
    m_probe->setKeepPoints(true);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->setSpacing(0);

    TopPanel = new QWidget(this);
    TopPanel->setObjectName(QStringLiteral("TopPanel"));
    TopPanel->setFixedHeight(kTopBarHeight);
    auto *top = new QHBoxLayout(TopPanel);
    top->setContentsMargins(1, 1, 1, 1);
    top->setSpacing(3);

    ContinuousPingSpdBtn = new QToolButton(TopPanel);
    ContinuousPingSpdBtn->setObjectName(QStringLiteral("ContinuousPingSpdBtn"));
    ContinuousPingSpdBtn->setText(QStringLiteral("Start"));
    ContinuousPingSpdBtn->setCheckable(true);
    // 35 × 23, but in a frame shorter than the bar it gives up height with the bar.
    ContinuousPingSpdBtn->setFixedWidth(35);
    ContinuousPingSpdBtn->setMaximumHeight(23);
    ContinuousPingSpdBtn->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    {
        QPalette p = ContinuousPingSpdBtn->palette();
        p.setColor(QPalette::ButtonText, kGreen);
        ContinuousPingSpdBtn->setPalette(p);
        QFont f = ContinuousPingSpdBtn->font();
        f.setPixelSize(12);
        ContinuousPingSpdBtn->setFont(f);
    }

    HostEdit = new QLineEdit(QStringLiteral("LocalHost"), TopPanel);
    HostEdit->setObjectName(QStringLiteral("HostEdit"));
    HostEdit->setAlignment(Qt::AlignCenter);

    IPAddressLbl = makeLabel(TopPanel, "IPAddressLbl", QStringLiteral("0.0.0.0"));
    StatusLbl = makeLabel(TopPanel, "StatusLbl", QStringLiteral("Low: -  Avg: -  High: -"));
    ThreadInProgressLbl = makeLabel(TopPanel, "ThreadInProgressLbl", QStringLiteral("-"));
    ThreadInProgressLbl->setFixedWidth(10);
    SpinEdit = new QSpinBox(TopPanel);
    SpinEdit->setObjectName(QStringLiteral("SpinEdit"));
    SpinEdit->setRange(5, 300);
    SpinEdit->setSingleStep(5);
    SpinEdit->setValue(180);
    SpinEdit->setFixedWidth(51);

    top->addWidget(ContinuousPingSpdBtn);
    top->addWidget(HostEdit, 1);
    top->addWidget(IPAddressLbl);
    top->addWidget(StatusLbl, 0);
    top->addWidget(ThreadInProgressLbl);
    top->addWidget(SpinEdit);

    BottomPanel = new QWidget(this);
    BottomPanel->setObjectName(QStringLiteral("BottomPanel"));
    auto *bottom = new QHBoxLayout(BottomPanel);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->setSpacing(0);

    PingChart = new TPingChart(BottomPanel);
    PingChart->setObjectName(QStringLiteral("PingChart"));

    ToggleBRPnl = makeLabel(PingChart, "ToggleBRPnl", QStringLiteral("#"));
    ToggleBRPnl->setFixedSize(8, 11);
    ToggleBRPnl->setAutoFillBackground(true);
    ClearChartPnl = makeLabel(PingChart, "ClearChartPnl", QStringLiteral("C"));
    ClearChartPnl->setFixedSize(10, 11);
    ClearChartPnl->setAutoFillBackground(true);
    for (QLabel *tiny : { ToggleBRPnl, ClearChartPnl }) {
        QFont f = tiny->font();
        f.setPixelSize(9);
        tiny->setFont(f);
        tiny->setCursor(Qt::PointingHandCursor);
    }
    PingChart->SetCornerWidgets(ToggleBRPnl, ClearChartPnl);

    Splitter = new TSplitterBar(BottomPanel);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->hide();

    BottomRightPanel = new QWidget(BottomPanel);
    BottomRightPanel->setObjectName(QStringLiteral("BottomRightPanel"));
    BottomRightPanel->setFixedWidth(85);
    BottomRightPanel->hide();
    Splitter->setSizedWidget(BottomRightPanel, TSplitterBar::Sizes::RightNeighbour);

    auto *details = new QVBoxLayout(BottomRightPanel);
    details->setContentsMargins(1, 0, 1, 0);
    details->setSpacing(0);
    {
        QFont small = BottomRightPanel->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        BottomRightPanel->setFont(small);
    }
    TimeoutsLbl = makeLabel(BottomRightPanel, "TimeoutsLbl", QStringLiteral("Timeouts: 0"));
    LastTimeoutComboBox = new QComboBox(BottomRightPanel);
    LastTimeoutComboBox->setObjectName(QStringLiteral("LastTimeoutComboBox"));
    LastTimeoutComboBox->setEditable(true);
    LastTimeoutComboBox->setInsertPolicy(QComboBox::NoInsert);
    LastTimeoutComboBox->setEditText(kNoTimeout);
    LastTimeoutComboBox->setMaximumWidth(80);
    TimeSinceLastTimeoutLbl = makeLabel(BottomRightPanel, "TimeSinceLastTimeoutLbl", QString());
    TimeSinceLastTimeoutLbl->setToolTip(QStringLiteral("Time Since Last Timeout"));
    PointsLbl = makeLabel(BottomRightPanel, "PointsLbl", QStringLiteral("Points: 0"));
    LossJitterLbl = makeLabel(
        BottomRightPanel, "LossJitterLbl", LinkStats::format({}).replace(QStringLiteral("  "), QStringLiteral("\n")));
    LossJitterLbl->setToolTip(QStringLiteral("Loss and jitter over the charted number of results"));
    LastTimeoutComboBox->setMaximumHeight(20);
    details->addWidget(TimeoutsLbl);
    details->addWidget(LossJitterLbl);
    details->addWidget(LastTimeoutComboBox, 0, Qt::AlignHCenter);
    details->addWidget(TimeSinceLastTimeoutLbl);
    details->addStretch(1);
    details->addWidget(PointsLbl);

    bottom->addWidget(PingChart, 1);
    bottom->addWidget(Splitter);
    bottom->addWidget(BottomRightPanel);

    outer->addWidget(TopPanel);
    outer->addWidget(BottomPanel, 1);

    PingTimer = m_probe->timer();
    WSocket = m_probe->resolver();
    m_probe->setHost(HostEdit->text());
    m_probe->setWindow(SpinEdit->value());
    connect(HostEdit, &QLineEdit::textChanged, m_probe, &HostProbe::setHost);
    // The room the host edit gives up depends on its text.
    connect(HostEdit, &QLineEdit::textChanged, this, [this] {
        if (!m_compact)
            fitToSize();
        updateTip();
    });
    connect(SpinEdit, &QSpinBox::valueChanged, m_probe, &HostProbe::setWindow);
    // The button's state is whether the cycle goes on after a result.
    connect(ContinuousPingSpdBtn, &QToolButton::toggled, m_probe, &HostProbe::setRunning);
    // The view's steps run before anyone else's: the frame connects first.
    connect(m_probe, &HostProbe::cycleBeginning, this, [this] {
        if (ClearChart) {
            ClearChart = false;
            PingChart->Clear();
            m_probe->clearPoints();
        }
    });
    connect(m_probe, &HostProbe::echoSent, this, [this] { ThreadInProgressLbl->setText(QStringLiteral("+")); });
    connect(m_probe, &HostProbe::resultProcessed, this, &TPingFrame::showResult);
    connect(m_probe, &HostProbe::resultShown, this, &TPingFrame::finishResult);
    connect(m_probe, &HostProbe::lookupFailed, this, &TPingFrame::showLookupFailure);

    // The state stripe lies along the left edge, in the layout's left margin; the compact
    // row takes the place of the bar and the chart in a frame too short for them.
    m_stripe = new StateStripe(this);
    m_stripe->setObjectName(QStringLiteral("StateStripe"));
    m_stripe->setAttribute(Qt::WA_OpaquePaintEvent);
    m_stripe->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_row = new TCompactRow(m_probe->history(), this);
    m_row->hide();

    setToggleColour(palette().color(QPalette::Button));
    followPalette();

    connect(ContinuousPingSpdBtn, &QToolButton::clicked, this,
        [this] { runGuarded([this] { ContinuousPingSpdBtnClick(); }); });
    for (QWidget *w : { static_cast<QWidget *>(ToggleBRPnl), static_cast<QWidget *>(ClearChartPnl),
             static_cast<QWidget *>(TimeoutsLbl), static_cast<QWidget *>(ThreadInProgressLbl) })
        w->installEventFilter(this);
    BottomRightPanel->installEventFilter(this);

    sizeToText();
    fitToSize();
}

TPingFrame::~TPingFrame()
{
    // The row draws from the probe's history, and the probe, the first child, goes first.
    delete m_row;
}

TPingFrame::Setup TPingFrame::setup() const
{
    Setup s;
    s.host = HostEdit->text();
    s.points = SpinEdit->value();
    s.details = BottomRightPanel->isVisibleTo(this);
    s.running = Running();
    return s;
}

void TPingFrame::applySetup(const Setup &s, int startDelayMs)
{
    if (HostEdit->text() != s.host)
        HostEdit->setText(s.host);
    SpinEdit->setValue(s.points);
    BottomRightPanel->setVisible(s.details);
    if (s.running && !Running())
        StartDelayed(startDelayMs);
    else if (!s.running && Running())
        StopPinging();
}

void TPingFrame::StopPinging(bool cancelDueCycle)
{
    if (Running()) {
        SetDown(false);
        ContinuousPingSpdBtnClick();
    }
    if (cancelDueCycle)
        PingTimer->stop();
}

void TPingFrame::MarkIdle()
{
    ThreadInProgressLbl->setText(QStringLiteral("-"));
}

bool TPingFrame::Running() const
{
    return ContinuousPingSpdBtn->isChecked();
}

void TPingFrame::SetDown(bool down)
{
    ContinuousPingSpdBtn->setChecked(down);
}

bool TPingFrame::InFlight() const
{
    return ThreadInProgressLbl->text() == QStringLiteral("+");
}

bool TPingFrame::LookupPending() const
{
    return m_probe->lookupPending();
}

bool TPingFrame::TimeoutMarked() const
{
    return ToggleBRPnl->palette().color(QPalette::Window) == kYellow;
}

QString TPingFrame::FormatStatus(int low, int avg, int high)
{
    return QStringLiteral("Low: %1  Avg: %2  High: %3").arg(low).arg(avg).arg(high);
}

QString TPingFrame::TimeSince(const QTime &timeout, const QTime &now)
{
    // Times of day only: the span runs forward from the timeout and wraps at midnight; part
    // seconds are cut.
    const int ms = (now.msecsSinceStartOfDay() - timeout.msecsSinceStartOfDay() + kMSecsPerDay) % kMSecsPerDay;
    return QTime::fromMSecsSinceStartOfDay(ms / 1000 * 1000).toString(kTimeFormat);
}

int TPingFrame::StripeWidth() const
{
    return std::max(3, fontMetrics().height() * 3 / 8);
}

int TPingFrame::CompactThreshold() const
{
    return CompactRow::threshold(fontMetrics().height());
}

void TPingFrame::placeStripe()
{
    const QRect r = contentsRect();
    m_stripe->setGeometry(r.x(), r.y(), StripeWidth(), r.height());
}

void TPingFrame::sizeToText()
{
    layout()->setContentsMargins(1 + StripeWidth(), 1, 1, 1);
    m_statusWidth = StatusLbl->fontMetrics().horizontalAdvance(kWidestStatus);
    StatusLbl->setFixedWidth(m_statusWidth);
    const QFontMetrics ip = IPAddressLbl->fontMetrics();
    m_addressWidth = std::max(ip.horizontalAdvance(kWidestAddress), ip.horizontalAdvance(kDnsError));
    IPAddressLbl->setFixedWidth(m_addressWidth);
    m_hostWidth = lineEditWidthFor(HostEdit, kWidestAddress);
    // The labels a result rewrites have sizes of their own, fixed both ways: Qt then takes a
    // new text as a repaint and lays nothing out again. Their heights come from the font here,
    // their widths from the panel (fitDetailWidths) and the bar (fitToSize).
    for (QLabel *l : detailLabels()) {
        l->setMinimumHeight(0);
        l->setMaximumHeight(QWIDGETSIZE_MAX);
        l->setFixedHeight(std::max(l->sizeHint().height(), l->fontMetrics().height()));
    }
    LastTimeoutComboBox->setMinimumHeight(
        std::min(LastTimeoutComboBox->sizeHint().height(), LastTimeoutComboBox->maximumHeight()));
    fitDetailWidths();
}

void TPingFrame::fitDetailWidths()
{
    const QMargins m = BottomRightPanel->layout()->contentsMargins();
    const int width = std::max(0, BottomRightPanel->contentsRect().width() - m.left() - m.right());
    for (QLabel *l : detailLabels())
        l->setFixedWidth(width);
}

QList<QLabel *> TPingFrame::detailLabels() const
{
    return { TimeoutsLbl, TimeSinceLastTimeoutLbl, PointsLbl, LossJitterLbl };
}

QList<QWidget *> TPingFrame::detailRows() const
{
    // In order of importance: a short frame drops rows from the end of this list.
    return { TimeoutsLbl, LastTimeoutComboBox, TimeSinceLastTimeoutLbl, PointsLbl, LossJitterLbl };
}

void TPingFrame::fitToSize()
{
    const QMargins outer = layout()->contentsMargins();
    const int width = contentsRect().width() - outer.left() - outer.right();
    const int height = contentsRect().height() - outer.top() - outer.bottom();

    placeStripe();
    const bool compact = this->height() < CompactThreshold();
    if (compact != m_compact) {
        m_compact = compact;
        TopPanel->setVisible(!compact);
        BottomPanel->setVisible(!compact);
        m_row->setVisible(compact);
    }
    if (compact) {
        // The row takes the whole height inside the frame's border: a board of hundreds of
        // frames leaves each only a few pixels.
        m_row->setGeometry(contentsRect().marginsRemoved(QMargins(outer.left(), 0, outer.right(), 0)));
        updateCompactRow();
        updateTip();
        return;
    }

    // The top bar: while the controls do not fit, the address and the status line shrink
    // to their present text, then the status line gives way, then the address; the text of
    // a hidden label goes to the frame's tooltip. The host edit stays to the last. Labels
    // take the width of their widest text when there is room, so frames line up.
    auto *bar = TopPanel->layout();
    const QMargins barMargins = bar->contentsMargins();
    const int fixedPart = barMargins.left() + barMargins.right() + bar->spacing() * 5
        + ContinuousPingSpdBtn->minimumWidth() + m_hostWidth + ThreadInProgressLbl->minimumWidth()
        + SpinEdit->minimumWidth();
    auto textWidth = [](QLabel *l) { return l->fontMetrics().horizontalAdvance(l->text()) + 2; };
    const int ipFull = std::max(m_addressWidth, textWidth(IPAddressLbl)), ipText = textWidth(IPAddressLbl);
    const int stFull = std::max(m_statusWidth, textWidth(StatusLbl)), stText = textWidth(StatusLbl);
    // The address, which seldom changes, narrows first, so that the status line, rewritten
    // by every reply, keeps its width; a label narrowed to its text takes all the room left,
    // so that the next text, mostly as wide, still fits and the bar keeps its arrangement.
    const int barRoom = width - fixedPart;
    // Before the address goes, the host edit gives up its room for the widest address down
    // to what its own text needs (a text too long for the edit scrolls anyway: down to the
    // designed width); then the address goes, and a ping window at its designed width keeps
    // the status line.
    const int hostText = lineEditWidthFor(HostEdit, HostEdit->text());
    const int hostGives = std::max(0, m_hostWidth - (hostText <= m_hostWidth ? hostText : kDesignedHostWidth));
    struct Choice
    {
        int ip, status, host = 0;
    }; // 0 = hidden; host: what the edit gives up
    const Choice choices[] = { { ipFull, stFull }, { std::max(ipText, barRoom - stFull), stFull },
        { ipText, std::max(stText, barRoom - ipText) },
        { ipText, std::max(stText, barRoom + hostGives - ipText), hostGives },
        { 0, std::max(stText, barRoom + hostGives + bar->spacing()), hostGives }, { ipFull, 0 },
        { std::max(ipText, barRoom + bar->spacing()), 0 }, { 0, 0 } };
    Choice pick = choices[std::size(choices) - 1];
    for (const Choice &c : choices) {
        const int w
            = fixedPart - c.host + c.ip + c.status - (c.ip ? 0 : bar->spacing()) - (c.status ? 0 : bar->spacing());
        if (w <= width) {
            pick = c;
            break;
        }
    }
    if (pick.ip)
        IPAddressLbl->setFixedWidth(pick.ip);
    if (pick.status)
        StatusLbl->setFixedWidth(pick.status);
    StatusLbl->setVisible(pick.status > 0);
    IPAddressLbl->setVisible(pick.ip > 0);
    QList<QWidget *> shown { ContinuousPingSpdBtn, HostEdit, ThreadInProgressLbl, SpinEdit };
    if (pick.ip)
        shown << IPAddressLbl;
    if (pick.status)
        shown << StatusLbl;
    auto needs = [&](const QList<QWidget *> &shown) {
        int w = barMargins.left() + barMargins.right() + bar->spacing() * (int(shown.size()) - 1);
        for (QWidget *c : shown)
            w += c == HostEdit ? m_hostWidth : c->minimumWidth();
        return w;
    };
    // Narrower still, the host edit takes what is left and scrolls its text.
    HostEdit->setMinimumWidth(std::clamp(m_hostWidth - (needs(shown) - width), 0, m_hostWidth));
    updateTip();

    // The details panel keeps whole rows from the top down; those that do not fit go.
    const int barHeight = std::clamp(height, 0, kTopBarHeight);
    TopPanel->setFixedHeight(barHeight);
    const int labelHeight = std::max(0, barHeight - barMargins.top() - barMargins.bottom());
    for (QLabel *l : { IPAddressLbl, StatusLbl, ThreadInProgressLbl })
        l->setFixedHeight(labelHeight);
    auto *details = BottomRightPanel->layout();
    int room = height - barHeight - details->contentsMargins().top() - details->contentsMargins().bottom();
    bool fits = true;
    for (QWidget *row : detailRows()) {
        const int needed = row->minimumHeight() + (row == TimeoutsLbl ? 0 : details->spacing());
        fits = fits && needed <= room;
        if (fits)
            room -= needed;
        row->setVisible(fits);
    }

    // Lay out now, so that nothing is ever drawn in the old arrangement.
    layout()->activate();
    bar->activate();
    details->activate();
}

// A label's new text calls for another arrangement of the top bar only when it is wider
// than the label, or when the label is hidden for lack of room and the text may now fit.
void TPingFrame::refitFor(QLabel *label)
{
    if (m_compact)
        return;
    if (label->isHidden() || label->fontMetrics().horizontalAdvance(label->text()) + 2 > label->maximumWidth())
        fitToSize();
}

void TPingFrame::updateTip()
{
    QStringList lines;
    const QString state = QStringLiteral("State: %1").arg(HostState::words(m_state));
    if (m_compact) {
        // The row shows little: the tooltip gives the rest.
        lines << HostText::display(HostEdit->text()) << QStringLiteral("Address: %1").arg(IPAddressLbl->text())
              << StatusLbl->text() << StatusLbl->toolTip()
              << QStringLiteral("Last timeout: %1").arg(LastTimeoutComboBox->currentText()) << state;
    } else {
        lines << state;
        for (QLabel *l : { IPAddressLbl, StatusLbl })
            if (l->isHidden())
                lines.append(l->text());
    }
    // Option words of the host text, and any value used at its bound.
    if (const HostSpec &parsed = m_probe->hostSpec(); parsed.hasOptions()) {
        lines << QStringLiteral("Interval %1, timeout %2")
                     .arg(Duration::format(parsed.intervalMs), Duration::format(parsed.timeoutMs));
        lines << parsed.notes;
    }
    setToolTip(lines.join(QLatin1Char('\n')));
}

void TPingFrame::updateState()
{
    const HostState::State state = m_probe->state();
    if (state == m_state)
        return;
    m_state = state;
    paintStripe();
    setAccessibleDescription(QStringLiteral("State: %1").arg(HostState::words(state)));
    updateTip();
}

void TPingFrame::updateCompactRow()
{
    if (!m_compact)
        return;
    TCompactRow::Figures f;
    f.host = HostText::display(HostEdit->text());
    f.address = IPAddressLbl->text();
    const QList<EchoOutcome> &window = m_probe->history().window();
    f.rtt = !window.isEmpty() && window.last().kind == EchoOutcome::Reply
        ? QStringLiteral("%1 ms").arg(window.last().rtt)
        : QStringLiteral("-");
    const LinkStats::Figures figures = LinkStats::compute(window);
    f.loss = m_probe->lookupHasFailed() || figures.results == 0
        ? QStringLiteral("-")
        : QStringLiteral("%1 %").arg(figures.lossPercent, 0, 'f', 1);
    f.high = m_probe->lowAvgHigh().high;
    m_row->setFigures(f);
}

void TPingFrame::showLossJitter(const QString &figures)
{
    if (StatusLbl->toolTip() != figures) {
        // Two short lines fit the narrow details panel; the tooltip keeps them on one.
        LossJitterLbl->setText(QString(figures).replace(QStringLiteral("  "), QStringLiteral("\n")));
        StatusLbl->setToolTip(figures);
    }
}

void TPingFrame::resizeEvent(QResizeEvent *e)
{
    QFrame::resizeEvent(e);
    fitToSize();
}

void TPingFrame::changeEvent(QEvent *e)
{
    QFrame::changeEvent(e);
    if (e->type() == QEvent::PaletteChange)
        followPalette();
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) {
        sizeToText();
        fitToSize();
    }
}

void TPingFrame::paintStripe()
{
    if (!m_stripe)
        return;
    QPalette stripe = m_stripe->palette();
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    stripe.setColor(QPalette::Window, QColor::fromRgb(QRgb(HostState::colour(m_state, dark))));
    stripe.setColor(QPalette::WindowText, QColor::fromRgb(QRgb(HostState::outline(dark))));
    m_stripe->setPalette(stripe);
    static_cast<StateStripe *>(m_stripe)->pattern = HostState::pattern(m_state);
    m_stripe->update();
}

// A new look (a dark one, say) gives new button colours: the Start caption's green and the
// toggle's resting colour follow, so that both stay readable.
void TPingFrame::followPalette()
{
    const QColor button = palette().color(QPalette::Button);
    paintStripe();
    {
        // A running frame's host edit takes no input, yet its text is the frame's name: it
        // keeps the style's normal text colour.
        QPalette host = HostEdit->palette();
        host.setColor(QPalette::Disabled, QPalette::Text, palette().color(QPalette::Active, QPalette::Text));
        HostEdit->setPalette(host);
    }
    QPalette p = palette();
    p.setColor(QPalette::ButtonText, button.lightness() < 128 ? QColor(90, 210, 90) : kGreen);
    ContinuousPingSpdBtn->setPalette(p);
    if (ToggleBRPnl->palette().color(QPalette::Window) != kYellow)
        setToggleColour(button);
}

void TPingFrame::setToggleColour(const QColor &colour)
{
    QPalette p = ToggleBRPnl->palette();
    p.setColor(QPalette::Window, colour);
    p.setColor(QPalette::WindowText, colour == kYellow ? QColor(Qt::black) : palette().color(QPalette::ButtonText));
    ToggleBRPnl->setPalette(p);
}

bool TPingFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && watched == BottomRightPanel)
        fitDetailWidths();
    // The splitter comes and goes with the details panel, whoever shows or hides it.
    if (watched == BottomRightPanel && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        Splitter->setVisible(event->type() == QEvent::ShowToParent);
    if (event->type() == QEvent::MouseButtonPress && watched == TimeoutsLbl) {
        auto *me = static_cast<QMouseEvent *>(event);
        TimeoutsLblMouseDown(me->button(), me->modifiers());
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        auto *w = static_cast<QWidget *>(watched);
        if (me->button() == Qt::LeftButton && w->rect().contains(me->position().toPoint())) {
            if (watched == ToggleBRPnl)
                ToggleBRPnlClick();
            else if (watched == ClearChartPnl)
                ClearChartPnlClick();
            else if (watched == ThreadInProgressLbl)
                ThreadInProgressLblClick();
            else
                return false;
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void TPingFrame::contextMenuEvent(QContextMenuEvent *e)
{
    // From the keyboard (the Menu key), the menu shows at the frame rather than at the pointer.
    if (PopupMenu)
        if (e->reason() == QContextMenuEvent::Keyboard)
            PopupMenu->popupFor(this, mapToGlobal(QPoint(0, 0)), true);
        else
            PopupMenu->popupFor(this, e->globalPos());
    else
        QFrame::contextMenuEvent(e);
}

void TPingFrame::keyPressEvent(QKeyEvent *e)
{
    // Shift+F10 reaches the frame from whichever of its controls has the focus.
    if (TPopupMenu::isContextMenuKey(e) && PopupMenu) {
        e->accept();
        PopupMenu->popupFor(this, mapToGlobal(QPoint(0, 0)), true);
        return;
    }
    QFrame::keyPressEvent(e);
}

void TPingFrame::StartDelayed(int delayMs)
{
    SetDown(true);
    // An empty host fails at once, as a click does; a frame with an echo or a cycle under
    // way goes on as a click would have it.
    if (delayMs <= 0 || HostEdit->text().isEmpty() || InFlight() || PingTimer->isActive()) {
        ContinuousPingSpdBtnClick();
        return;
    }
    showRunning(true);
    m_probe->beginCycle(delayMs);
}

void TPingFrame::showRunning(bool running)
{
    if (running)
        m_probe->beginRun();
    HostEdit->setEnabled(!running);
    // A host text longer than the edit (a label after the address) shows its start, the
    // address, while the frame runs and nobody edits it.
    if (running)
        HostEdit->setCursorPosition(0);
    ContinuousPingSpdBtn->setText(running ? QStringLiteral("Stop") : QStringLiteral("Start"));
    if (running)
        WSocket->SocketFamily = sfIPv4;
    updateState();
}

void TPingFrame::ContinuousPingSpdBtnClick()
{
    if (ContinuousPingSpdBtn->isChecked()) {
        showRunning(true);
        m_probe->beginCycle();
    } else {
        showRunning(false);
    }
}

void TPingFrame::PingTimerTimer()
{
    m_probe->tick();
}

void TPingFrame::WSocketDnsLookupDone(QObject *, std::uint16_t errCode)
{
    m_probe->lookupDone(errCode);
}

void TPingFrame::showLookupFailure()
{
    IPAddressLbl->setText(kDnsError);
    refitFor(IPAddressLbl);
    updateTip();
    ContinuousPingSpdBtn->setChecked(false);
    ContinuousPingSpdBtnClick();
    // A stopped lookup says so: no figures over results that stopped coming.
    showLossJitter(LinkStats::format({}));
    updateState();
    updateCompactRow();
    emit LookupFailed(HostEdit->text());
}

void TPingFrame::showPoints()
{
    const QList<HostProbe::Point> &points = m_probe->points();
    const int added = int(std::min<qint64>(m_probe->pointsAdded() - m_pointsShown, points.size()));
    m_pointsShown = m_probe->pointsAdded();
    for (int drop = PingChart->Count() + added - int(points.size()); drop > 0 && PingChart->Count() > 0; --drop)
        PingChart->Delete(0);
    for (qsizetype i = points.size() - added; i < points.size(); ++i) {
        const HostProbe::Point &p = points.at(i);
        PingChart->AddXY(p.when, p.rtt,
            p.kind == EchoOutcome::Reply         ? kGreen
                : p.kind == EchoOutcome::Foreign ? kOrange
                                                 : kRed);
    }
}

void TPingFrame::setCovered(bool covered)
{
    if (covered == m_covered)
        return;
    m_covered = covered;
    if (!covered)
        catchUp();
}

void TPingFrame::catchUp()
{
    showPoints();
    const QList<EchoOutcome> &window = m_probe->history().window();
    const auto answered = std::find_if(
        window.crbegin(), window.crend(), [](const EchoOutcome &o) { return o.kind != EchoOutcome::Timeout; });
    if (answered != window.crend() && IPAddressLbl->text() != answered->target) {
        IPAddressLbl->setText(answered->target);
        refitFor(IPAddressLbl);
    }
    const LinkStats::LowAvgHigh f = m_probe->lowAvgHigh();
    if (f != LinkStats::LowAvgHigh {}) {
        StatusLbl->setText(FormatStatus(f.low, f.avg, f.high));
        refitFor(StatusLbl);
        PingChart->SetLeftAutomaticMaximum(false);
        PingChart->SetLeftMaximum(f.high + f.high * 0.25);
    }
    if (m_timeoutWhileCovered) {
        m_timeoutWhileCovered = false;
        LastTimeoutComboBox->clear();
        for (const QDateTime &t : m_probe->timeouts())
            LastTimeoutComboBox->addItem(t.time().toString(kTimeFormat));
        if (LastTimeoutComboBox->count() > 0) {
            LastTimeoutComboBox->setCurrentIndex(0);
            LastTimeoutComboBox->setEditText(LastTimeoutComboBox->itemText(0));
        } else {
            LastTimeoutComboBox->setEditText(kNoTimeout);
        }
        TimeoutsLbl->setText(QStringLiteral("Timeouts: %1").arg(LastTimeoutComboBox->count()));
        setToggleColour(kYellow);
    }
    showLossJitter(LinkStats::format(m_probe->figures()));
    updateState();
    updateCompactRow();
    updateTip();
    PointsLbl->setText(QStringLiteral("Points: %1").arg(PingChart->Count()));
    const QString last = LastTimeoutComboBox->currentText();
    const QTime lastTime = QTime::fromString(last, kTimeFormat);
    if (!window.isEmpty() && last != kNoTimeout && lastTime.isValid())
        TimeSinceLastTimeoutLbl->setText(TimeSince(lastTime, window.last().when.time()));
    else
        TimeSinceLastTimeoutLbl->clear();
}

void TPingFrame::showResult(const EchoOutcome &outcome)
{
    if (m_covered) {
        // Nobody sees the widgets: they catch up when the frame is uncovered.
        if (outcome.kind != EchoOutcome::Reply)
            m_timeoutWhileCovered = true;
        updateState();
        emit ResultProcessed(outcome);
        return;
    }
    const QDateTime &now = outcome.when;

    // The points as the probe keeps them: as many as SpinEdit's value, the new one last.
    showPoints();

    // An answer, from the host or another address, shows the address pinged.
    if (outcome.kind != EchoOutcome::Timeout)
        if (IPAddressLbl->text() != outcome.target) {
            IPAddressLbl->setText(outcome.target);
            refitFor(IPAddressLbl);
        }

    if (outcome.kind == EchoOutcome::Reply) {
        // Low/Avg/High over every point, and room above the highest.
        const LinkStats::LowAvgHigh f = m_probe->lowAvgHigh();
        StatusLbl->setText(FormatStatus(f.low, f.avg, f.high));
        refitFor(StatusLbl);
        PingChart->SetLeftAutomaticMaximum(false);
        PingChart->SetLeftMaximum(f.high + f.high * 0.25);
    } else {
        // The newest timeout becomes the current item, so that trimming the oldest never
        // moves the shown text to another entry.
        const QString stamp = now.time().toString(kTimeFormat);
        LastTimeoutComboBox->insertItem(0, stamp);
        LastTimeoutComboBox->setCurrentIndex(0);
        while (LastTimeoutComboBox->count() > HostProbe::kTimeoutsKept)
            LastTimeoutComboBox->removeItem(LastTimeoutComboBox->count() - 1);
        LastTimeoutComboBox->setEditText(stamp);
        TimeoutsLbl->setText(QStringLiteral("Timeouts: %1").arg(LastTimeoutComboBox->count()));
        setToggleColour(kYellow);
    }

    updateTip();

    showLossJitter(LinkStats::format(m_probe->figures()));
    updateState();
    if (m_compact) {
        updateCompactRow();
        updateTip();
    }
    emit ResultProcessed(outcome);

    PointsLbl->setText(QStringLiteral("Points: %1").arg(PingChart->Count()));

    // Time since the shown timeout (the newest, or one the user picked); text that is no
    // time shows nothing.
    const QString last = LastTimeoutComboBox->currentText();
    const QTime lastTime = QTime::fromString(last, kTimeFormat);
    if (last != kNoTimeout && lastTime.isValid())
        TimeSinceLastTimeoutLbl->setText(TimeSince(lastTime, now.time()));
    else
        TimeSinceLastTimeoutLbl->clear();
}

void TPingFrame::finishResult()
{
    // Let the chart and labels repaint; other frames' events may run here, and this frame
    // may even be freed by them. Results of other frames arriving meanwhile do the same, so
    // the passes nest; past a few levels a pass is left to the event loop, which keeps the
    // stack bounded on a board of hundreds of frames.
    static int nestedPasses = 0;
    if (!m_covered && nestedPasses < kMaxNestedEventPasses) {
        QPointer<TPingFrame> self(this);
        ++m_terminateDepth;
        ++nestedPasses;
        QCoreApplication::processEvents();
        --nestedPasses;
        if (!self)
            return;
        --m_terminateDepth;
    }
    // Then the indicator; the probe arms the next cycle if the button is still down.
    ThreadInProgressLbl->setText(QStringLiteral("-"));
}

void TPingFrame::ClearChartPnlClick()
{
    ClearChart = true;
}

void TPingFrame::ToggleBRPnlClick()
{
    setToggleColour(palette().color(QPalette::Button));
    BottomRightPanel->setVisible(!BottomRightPanel->isVisibleTo(this));
}

void TPingFrame::TimeoutsLblMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift)
{
    if (!(shift & Qt::ShiftModifier))
        return;
    if (button == Qt::LeftButton) {
        LastTimeoutComboBox->clear();
        m_probe->clearTimeouts();
        LastTimeoutComboBox->setEditText(kNoTimeout);
        TimeoutsLbl->setText(QStringLiteral("Timeouts: %1").arg(LastTimeoutComboBox->count()));
    } else if (button == Qt::RightButton) {
        setToggleColour(palette().color(QPalette::Button));
    }
}

void TPingFrame::ThreadInProgressLblClick()
{
    ThreadInProgressLbl->setText(QStringLiteral("-"));
}
