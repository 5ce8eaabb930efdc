// A board of 150 frames in a 1920 x 1080 window, read from a picture: every frame's stripe
// gives its host's state and its compact row's strip the results, echo by echo.
#include "compactrow.h"
#include "mainform.h"
#include "pingframe.h"
#include "pingthread.h"
#include "scripted.h"

#include <QDir>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

namespace {
enum class Kind { Answering, Lossy, Silent };
constexpr int kRounds = 12;
// A lossy host loses these rounds' echoes.
bool lost(int round)
{
    return round == 3 || round == 7 || round == 8;
}
} // namespace

class TestBoardGlance : public QObject
{
    Q_OBJECT
private slots:
    void board150_stripesAndStrips()
    {
        ScriptedWorld world;
        PinnedClock clock;
        auto form = makeMainForm();
        form->resize(1920, 1080);
        QList<Kind> kinds;
        for (int i = 0; i < 150; ++i)
            kinds.append(i % 15 == 14 ? Kind::Silent : i % 15 >= 10 ? Kind::Lossy : Kind::Answering);
        QCOMPARE(kinds.count(Kind::Answering), 100);
        QCOMPARE(kinds.count(Kind::Lossy), 40);
        for (int i = 0; i < 150; ++i)
            form->AddHostFrame(QStringLiteral("10.2.%1.%2 host %3").arg(i / 200).arg(i % 200 + 1).arg(i), true);
        QCoreApplication::processEvents();
        const QList<TPingFrame *> frames = form->Board->ColumnFrames1;
        QCOMPARE(frames.size(), 150);
        for (int round = 0; round < kRounds; ++round) {
            if (round > 0) {
                clock.advance(1000);
                for (TPingFrame *f : frames)
                    f->PingTimerTimer();
            }
            if (round == 0) // the board spreads its starts over a second: start the rest now
                for (TPingFrame *f : frames)
                    if (!f->InFlight()) {
                        f->PingTimer->stop();
                        f->PingTimerTimer();
                    }
            QCOMPARE(world.echoes.count(), 150u);
            for (int k = 0; k < 150; ++k) {
                // Echoes complete in the order they went out; the address tells whose it is.
                const int i = world.echoes.pending.front()->PingHostName.section(QLatin1Char('.'), 3).toInt() - 1;
                const bool answer = kinds[i] == Kind::Answering || (kinds[i] == Kind::Lossy && !lost(round));
                world.echoes.replyAndProcess(answer ? 5 + i % 7 : -1);
            }
        }
        QCoreApplication::processEvents();

        const QImage shot = form->grab().toImage();
        const QString dir = qEnvironmentVariable("SKYLARK_SHOTS");
        if (!dir.isEmpty() && QDir().mkpath(dir))
            shot.save(dir + QStringLiteral("/board150.png"));
        for (int i = 0; i < 150; ++i) {
            TPingFrame *f = frames[i];
            QVERIFY2(f->Compact(), qPrintable(QString::number(f->height())));
            const HostState::State expected = kinds[i] == Kind::Answering ? HostState::State::Up
                : kinds[i] == Kind::Lossy                                 ? HostState::State::Degraded
                                                                          : HostState::State::Down;
            QCOMPARE(f->State(), expected);
            const int midY = f->height() / 2;
            const QPoint stripe = f->mapTo(form.get(), QPoint(f->contentsRect().left() + 1, midY));
            const bool dark = f->palette().color(QPalette::Window).lightness() < 128;
            QCOMPARE(QColor(shot.pixel(stripe)), QColor::fromRgb(QRgb(HostState::colour(expected, dark))));
            QCOMPARE(QColor(shot.pixel(stripe - QPoint(1, 0))), QColor::fromRgb(QRgb(HostState::outline(dark))));
            // The strip: one cell per result, newest at the right.
            auto *row = f->findChild<TCompactRow *>();
            const QRect strip = row->stripRect();
            const int cell = CompactRow::cellWidth(f->SpinEdit->value(), strip.width());
            for (int round = 0; round < kRounds; ++round) {
                const int fromRight = kRounds - 1 - round;
                const QPoint at
                    = row->mapTo(form.get(), QPoint(strip.right() - fromRight * cell - cell / 2, strip.center().y()));
                const bool timeout = kinds[i] == Kind::Silent || (kinds[i] == Kind::Lossy && lost(round));
                // Each host answers in the same time every round: its replies are the slowest shade.
                const int rtt = 5 + i % 7;
                QCOMPARE(QColor(shot.pixel(at)),
                    QColor::fromRgb(QRgb(
                        CompactRow::cellColour(timeout ? EchoOutcome::Timeout : EchoOutcome::Reply, rtt, rtt, dark))));
            }
        }
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->close();
    }
};

QTEST_MAIN(TestBoardGlance)
#include "tst_boardglance.moc"
