#include "../support/fulldisk.h"
#include "historystore.h"
#include "historywriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>

namespace {

constexpr qint64 kT0 = 1796083200000;
constexpr int kChildHosts = 50;
constexpr int kChildBatch = 20 * kChildHosts; // twenty results of each host

HistoryStore::Entry entry(int host, qint64 t)
{
    return { QStringLiteral("h%1").arg(host), QString(), QStringLiteral("127.0.0.1"),
        { t, History::Kind::Reply, 0, 1000LL * (host % 40 + 1) } };
}

qint64 resultsIn(const QString &dir)
{
    HistoryStore reader;
    QString error;
    if (!reader.openForReading(dir, &error))
        return -1;
    qint64 n = 0;
    for (const auto &h : reader.hosts())
        n += reader.results(h.id, 0, kT0 + 86400000LL * 365).size();
    return n;
}

// The child of the kill test: writes batches as fast as it can, and says after each one that
// it is kept.
int writeUntilKilled(const QString &dir)
{
    HistoryStore store;
    QString error;
    if (!store.openForWriting(dir, {}, &error))
        return 1;
    for (qint64 batch = 0;; ++batch) {
        QList<HistoryStore::Entry> entries;
        for (int s = 0; s < kChildBatch / kChildHosts; ++s)
            for (int h = 0; h < kChildHosts; ++h)
                entries.append(entry(h, kT0 + (batch * 20 + s) * 1000));
        if (store.write(entries, &error) != HistoryStore::WriteStatus::Ok)
            return 1;
        std::printf("%lld\n", batch + 1);
        std::fflush(stdout);
    }
}

} // namespace

class TestHistoryWriter : public QObject
{
    Q_OBJECT
private slots:
    void killDuringBatchLosesAtMostThatBatch()
    {
        QTemporaryDir dir;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HISTORY_CHILD_DIR"), dir.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QByteArray out;
        while (out.count('\n') < 30 && child.waitForReadyRead(10000))
            out += child.readAllStandardOutput();
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());
        out += child.readAllStandardOutput();
        const QList<QByteArray> lines = out.trimmed().split('\n');
        const qint64 confirmed = lines.last().toLongLong();
        QVERIFY(confirmed >= 30);

        // The store opens for writing at once, nothing was moved aside, and it holds every
        // confirmed batch whole (at most one more that was kept before its line was written).
        HistoryStore store;
        QString error;
        QVERIFY2(store.openForWriting(dir.path(), {}, &error), qPrintable(error));
        QVERIFY(store.takeNotes().isEmpty());
        store.close(kT0);
        const qint64 kept = resultsIn(dir.path());
        QVERIFY2(kept == confirmed * kChildBatch || kept == (confirmed + 1) * kChildBatch,
            qPrintable(QStringLiteral("%1 results, %2 batches confirmed").arg(kept).arg(confirmed)));
    }

    void fullDiskPausesAndResumes()
    {
        QTemporaryDir base;
        FullDisk disk(base.path() + QStringLiteral("/History"), 2048);
        if (!disk.available())
            QSKIP("mounting a tmpfs needs root");
        HistoryWriter writer(base.path() + QStringLiteral("/History"));
        QSignalSpy messages(&writer, &HistoryWriter::message);
        QVERIFY(writer.open());
        qint64 t = kT0, added = 0;
        auto batch = [&] {
            for (int s = 0; s < 10; ++s, t += 1000)
                for (int h = 0; h < 200; ++h, ++added)
                    writer.add(entry(h, t));
            writer.flush();
        };
        batch();
        QVERIFY(!writer.isPaused());
        disk.fill();
        for (int i = 0; i < 200 && !writer.isPaused(); ++i)
            batch();
        QVERIFY(writer.isPaused());
        for (int i = 0; i < 3; ++i)
            batch();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.at(0).at(0).toString().startsWith(QStringLiteral("History paused: the disk is full.")));
        disk.release();
        batch();
        QVERIFY(!writer.isPaused());
        QCOMPARE(messages.size(), 2);
        QVERIFY(messages.at(1).at(0).toString().startsWith(QStringLiteral("History resumed")));
        writer.close();
        // Nothing waited long enough to be dropped, so every result is there.
        QCOMPARE(resultsIn(base.path() + QStringLiteral("/History")), added);
    }

    void damagedStoreIsMovedAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not a store") << QByteArray("time,host\n2026-12-01T00:00:00,a\n").repeated(200);
        QTest::newRow("header overwritten") << QByteArray();
    }
    void damagedStoreIsMovedAside()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString file = HistoryStore::fileName(dir.path());
        {
            HistoryWriter first(dir.path());
            QVERIFY(first.open());
            for (int s = 0; s < 100; ++s)
                first.add(entry(1, kT0 + s * 1000));
        }
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        if (content.isEmpty()) {
            f.write(QByteArray(100, '\x5a'));
        } else {
            f.resize(0);
            f.write(content);
        }
        f.close();

        HistoryWriter writer(dir.path());
        QSignalSpy messages(&writer, &HistoryWriter::message);
        QVERIFY(writer.open());
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.at(0).at(0).toString().contains(QStringLiteral("was moved to")));
        const QStringList aside = QDir(dir.path()).entryList({ QStringLiteral("history.db.damaged-*") });
        QCOMPARE(aside.size(), 1);
        writer.add(entry(2, kT0));
        writer.close();
        QCOMPARE(resultsIn(dir.path()), 1);
    }

    void secondWriterIsRefusedWhileReadersRead()
    {
        QTemporaryDir dir;
        HistoryWriter first(dir.path());
        QVERIFY(first.open());
        for (int s = 0; s < 10; ++s)
            first.add(entry(1, kT0 + s * 1000));
        first.flush();

        HistoryWriter second(dir.path());
        QSignalSpy messages(&second, &HistoryWriter::message);
        QVERIFY(!second.open());
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.at(0).at(0).toString().contains(QStringLiteral("is being written by another Skylark")),
            qPrintable(messages.at(0).at(0).toString()));
        second.add(entry(1, kT0 + 20000));
        second.close();

        // A reader sees every batch written so far, and that a writer is at work.
        QCOMPARE(resultsIn(dir.path()), 10);
        HistoryStore reader;
        QString error;
        QVERIFY(reader.openForReading(dir.path(), &error));
        QVERIFY(reader.writerActive());
        first.add(entry(1, kT0 + 10000));
        first.flush();
        QCOMPARE(resultsIn(dir.path()), 11);
        first.close();
        QVERIFY(!reader.writerActive());
    }

    // Results recorded from this thread reach the store through the writer's thread.
    void threadWritesWhatIsRecorded()
    {
        QTemporaryDir dir;
        {
            HistoryThread history(dir.path());
            for (int s = 0; s < 500; ++s)
                history.record(entry(s % 5, kT0 + s * 200));
        }
        QCOMPARE(resultsIn(dir.path()), 500);
    }
};

int main(int argc, char **argv)
{
    const QString childDir = qEnvironmentVariable("HISTORY_CHILD_DIR");
    if (!childDir.isEmpty())
        return writeUntilKilled(childDir);
    QCoreApplication app(argc, argv);
    TestHistoryWriter test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_historywriter.moc"
