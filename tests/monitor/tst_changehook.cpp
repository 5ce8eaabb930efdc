#include "changehook.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

ChangeHook::Change slowChange()
{
    ChangeHook::Change c;
    c.host = QStringLiteral("10.0.0.1");
    c.label = QStringLiteral("core router");
    c.address = QStringLiteral("10.0.0.1");
    c.announcement.from = HostState::State::Up;
    c.announcement.to = HostState::State::Slow;
    c.announcement.since = QDateTime(QDate(2026, 3, 1), QTime(14, 2, 5), Qt::OffsetFromUTC, 3600);
    c.rttMs = 240;
    c.lossPercent = 2.5;
    return c;
}

QStringList lines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return { QStringLiteral("<missing>") };
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class TestChangeHook : public QObject
{
    Q_OBJECT

    QStringList m_log;
    std::function<void(const QString &)> log()
    {
        return [this](const QString &line) { m_log.append(line); };
    }

private slots:
    void init() { m_log.clear(); }

    // The change in the environment, the arguments as given (no shell reads them), standard
    // error in the log.
    void environmentArgumentsAndStandardError()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("env"));
        ChangeHook hook(log());
        hook.setCommand(QStringLiteral("/bin/sh"),
            { QStringLiteral("-c"),
                QStringLiteral("env | grep ^SKYLARK_ | sort > \"$0\"; echo \"$1\" >> \"$0\"; "
                               "echo 'a complaint' >&2"),
                out, QStringLiteral("two words; $HOME `x`") });
        QSignalSpy finished(&hook, &ChangeHook::finished);
        hook.run(slowChange());
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(lines(out).join(u'|'),
            QStringLiteral("SKYLARK_ADDRESS=10.0.0.1|SKYLARK_HOST=10.0.0.1|SKYLARK_LABEL=core router|"
                           "SKYLARK_LOSS=2.5|SKYLARK_PREVIOUS=up|SKYLARK_RTT_MS=240|"
                           "SKYLARK_SINCE=2026-03-01T14:02:05+01:00|SKYLARK_STATE=slow|two words; $HOME `x`"));
        QCOMPARE(m_log, QStringList { QStringLiteral("change command: a complaint") });
    }

    // A run that floods its standard error leaves a short excerpt in the log and a count.
    void floodedStandardError_keptShort()
    {
        ChangeHook hook(log());
        hook.setCommand(QStringLiteral("/bin/sh"),
            { QStringLiteral("-c"), QStringLiteral("head -c 1048576 /dev/zero | tr '\\0' x >&2") });
        QSignalSpy finished(&hook, &ChangeHook::finished);
        hook.run(slowChange());
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 15000);
        QCOMPARE(m_log.size(), 2);
        QCOMPARE(m_log[0], QStringLiteral("change command: ") + QString(ChangeHook::kErrorKept, u'x'));
        QCOMPARE(m_log[1],
            QStringLiteral("change command: %1 more bytes on standard error not kept")
                .arg(1048576 - ChangeHook::kErrorKept));
    }

    void noReplyYet_emptyRtt()
    {
        ChangeHook::Change c = slowChange();
        c.rttMs = -1;
        c.announcement.to = HostState::State::Down;
        c.announcement.from = HostState::State::Degraded;
        const auto vars = ChangeHook::variables(c);
        QCOMPARE(vars.value(QStringLiteral("SKYLARK_RTT_MS")), QString());
        QCOMPARE(vars.value(QStringLiteral("SKYLARK_STATE")), QStringLiteral("down"));
        QCOMPARE(vars.value(QStringLiteral("SKYLARK_PREVIOUS")), QStringLiteral("degraded"));
    }

    // A run past its time is killed and said so; the next waiting one starts.
    void timeLimit()
    {
        ChangeHook hook(log());
        hook.setTimeLimit(300);
        hook.setCommand(QStringLiteral("sleep"), { QStringLiteral("60") });
        QSignalSpy finished(&hook, &ChangeHook::finished);
        hook.run(slowChange());
        QCOMPARE(hook.running(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        QCOMPARE(hook.running(), 0);
        QCOMPARE(m_log, QStringList { QStringLiteral("change command sleep still running after 300 ms, ended") });
    }

    // Four at once, a hundred waiting, the oldest beyond dropped and counted once drained.
    void queueBound()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("runs"));
        ChangeHook hook(log());
        hook.setCommand(QStringLiteral("/bin/sh"),
            { QStringLiteral("-c"), QStringLiteral("echo \"$SKYLARK_RTT_MS\" >> \"$0\""), out });
        QSignalSpy finished(&hook, &ChangeHook::finished);
        ChangeHook::Change c = slowChange();
        for (int i = 0; i < 110; ++i) {
            c.rttMs = i;
            hook.run(c);
        }
        QCOMPARE(hook.running(), ChangeHook::kRunning);
        QCOMPARE(hook.waiting(), ChangeHook::kQueued);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 104, 60000);
        QCOMPARE(hook.waiting(), 0);
        QStringList runs = lines(out);
        QCOMPARE(runs.size(), 104);
        // The first four started at once; of the rest, the six oldest gave way.
        QVERIFY(runs.contains(QStringLiteral("3")));
        for (int dropped = 4; dropped < 10; ++dropped)
            QVERIFY(!runs.contains(QString::number(dropped)));
        QVERIFY(runs.contains(QStringLiteral("109")));
        QCOMPARE(
            m_log, QStringList { QStringLiteral("change command: 6 changes not run, more than 100 were waiting") });
    }

    // A program that is not there: one clear message, however many changes follow.
    void missingProgram_saidOnce()
    {
        ChangeHook hook(log());
        hook.setCommand(QStringLiteral("/nonexistent/skylark-page-me"), {});
        for (int i = 0; i < 3; ++i)
            hook.run(slowChange());
        QTRY_COMPARE(hook.running() + hook.waiting(), 0);
        QCOMPARE(m_log,
            QStringList { QStringLiteral(
                "change command \"/nonexistent/skylark-page-me\" cannot be run: there is no such program") });
        // Nothing runs without a program.
        hook.setCommand(QString(), {});
        hook.run(slowChange());
        QCOMPARE(hook.running(), 0);
    }
};

QTEST_GUILESS_MAIN(TestChangeHook)
#include "tst_changehook.moc"
