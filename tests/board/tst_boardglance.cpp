// A board of 150 frames in a 1920 x 1080 window, read from a picture: the overview's row of
// every host gives its state and its strip the results, echo by echo.
#include "frameboard.h"
#include "hostoverview.h"
#include "hosttablemodel.h"
#include "mainform.h"
#include "pingframe.h"
#include "pingthread.h"
#include "scripted.h"

#include <QDir>
#include <QSpinBox>
#include <QTableView>
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

        // Too many frames for their controls: the column shows its overview, a row per host.
        QVERIFY(form->Board->showsOverview(1));
        QTableView *view = form->Board->overview(1)->view();
        QCOMPARE(view->model()->rowCount(), 150);
        const QString dir = qEnvironmentVariable("SKYLARK_SHOTS");
        if (!dir.isEmpty() && QDir().mkpath(dir))
            form->grab().save(dir + QStringLiteral("/board150.png"));
        const bool dark = view->palette().color(QPalette::Base).lightness() < 128;
        const int kept = frames.first()->SpinEdit->value();
        for (int i = 0; i < 150; ++i) {
            // A lossy host lost three of its twelve echoes: more than the usual 10 %.
            const HostState::State expected = kinds[i] == Kind::Answering ? HostState::State::Up
                : kinds[i] == Kind::Lossy                                 ? HostState::State::Lossy
                                                                          : HostState::State::Down;
            QCOMPARE(frames[i]->State(), expected);
            // The board's order: row i is frame i.
            const QModelIndex stateCell = view->model()->index(i, HostTableModel::State);
            view->scrollTo(stateCell);
            const QImage shot = view->viewport()->grab().toImage();
            const QRect chip = view->visualRect(stateCell);
            QCOMPARE(QColor(shot.pixel(chip.left() + 5, chip.center().y())),
                QColor::fromRgb(QRgb(HostState::colour(expected, dark))));
            // The strip: one cell per result kept, newest at the right.
            const QRect strip
                = view->visualRect(view->model()->index(i, HostTableModel::Results)).adjusted(2, 3, -2, -3);
            const int cell = std::max(3, strip.width() / kept);
            const int left = strip.right() + 1 - kRounds * cell;
            for (int round = 0; round < kRounds; ++round) {
                const bool timeout = kinds[i] == Kind::Silent || (kinds[i] == Kind::Lossy && lost(round));
                const QPoint at(left + round * cell + cell / 2, strip.center().y());
                QCOMPARE(QColor(shot.pixel(at)),
                    QColor::fromRgb(QRgb(THostOverview::cellColour(
                        timeout ? EchoOutcome::Timeout : EchoOutcome::Reply, 5 + i % 7, dark))));
            }
            // Outlined, so that pale cells stand out from the row.
            QCOMPARE(QColor(shot.pixel(left - 1, strip.center().y())), QColor::fromRgb(QRgb(HostState::outline(dark))));
        }
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->close();
    }
};

QTEST_MAIN(TestBoardGlance)
#include "tst_boardglance.moc"
