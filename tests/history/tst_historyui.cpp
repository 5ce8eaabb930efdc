// The desktop's history: what the frames record, the history window of a host, and the
// window of every host's outages.
#include "historystore.h"
#include "mainform.h"
#include "pingform.h"
#include "pingframe.h"
#include "scripted.h"

#include <QLineEdit>
#include <QTest>
#include <QToolButton>

class TestHistoryUi : public QObject
{
    Q_OBJECT

private slots:
    // Every result of a column's frame and of a ping window reaches the store under its host's
    // identity; the store is closed with the window, so a reader sees every result.
    void frames_recordEveryResult_underTheHostsIdentity()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->AddHostFrame(QStringLiteral("127.0.0.1 the loopback"), true);
        form->aAddPingForm->trigger();
        TPingFrame *windowFrame = form->Board->PingForms.at(0)->PingFrame;
        windowFrame->HostEdit->setText(QStringLiteral("127.0.0.2"));
        QTest::mouseClick(windowFrame->ContinuousPingSpdBtn, Qt::LeftButton);
        // Three cycles of both: a reply, no reply, a reply.
        for (int rtt : { 3, -1, 4 }) {
            QTRY_COMPARE_WITH_TIMEOUT(world.echoes.count(), 2u, 5000);
            world.echoes.replyAndProcess(rtt);
            world.echoes.replyAndProcess(rtt);
        }
        form->close();
        QVERIFY(!form->isVisible());
        QCOMPARE(world.errors.messages, QStringList());

        HistoryStore store;
        QString error;
        QVERIFY2(store.openForReading(world.home.dtaDir() + QStringLiteral("History/"), &error), qPrintable(error));
        QStringList found;
        for (const HistoryStore::Host &h : store.hosts()) {
            QStringList kinds;
            for (const auto &r : store.results(h.id, 0, std::numeric_limits<qint64>::max() / 2))
                kinds << History::kindName(r.result.kind) + QString::number(r.result.rttUs);
            found << h.identity + u'/' + h.label + u'/' + h.address + u':' + kinds.join(u' ');
        }
        QCOMPARE(found,
            QStringList({ QStringLiteral("127.0.0.1 the loopback/the loopback/127.0.0.1:reply3000 timeout0 reply4000"),
                QStringLiteral("127.0.0.2//127.0.0.2:reply3000 timeout0 reply4000") }));
        QVERIFY(!store.writerActive());
    }

    // A store another Skylark writes is left alone, and the user is told so once, without a
    // box that waits for an answer; the frames go on.
    void storeHeldByAnotherWriter_isToldOnce_framesGoOn()
    {
        ScriptedWorld world;
        HistoryStore other;
        QString error;
        QVERIFY(other.openForWriting(world.home.dtaDir() + QStringLiteral("History/"), {}, &error));
        auto form = makeMainForm();
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->AddHostFrame(QStringLiteral("127.0.0.1"), true);
        QTRY_COMPARE(world.errors.messages.size(), 1);
        QVERIFY2(world.errors.messages[0].contains(QStringLiteral("being written by another Skylark")),
            qPrintable(world.errors.messages[0]));
        QTRY_COMPARE_WITH_TIMEOUT(world.echoes.count(), 1u, 5000);
        world.echoes.replyAndProcess(2);
        QVERIFY(form->Board->ColumnFrames1.at(0)->Running());
        form->close();
        QCOMPARE(world.errors.messages.size(), 1);
    }
};

QTEST_MAIN(TestHistoryUi)
#include "tst_historyui.moc"
