// Sessions: the board saved to a file and rebuilt from it, hand-edited files, and the
// autosaved session across runs.
#include "../support/oddfiles.h"
#include "hostlistbox.h"
#include "mainform.h"
#include "pingframe.h"
#include "profilefile.h"
#include "scripted.h"
#include "selectfiledlg.h"
#include "selectfileframe.h"
#include "sessionfile.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QListWidget>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QProcess>
#include <QSpinBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// One frame as "host/points/details/running".
QString describe(const TPingFrame *f)
{
    return QStringLiteral("%1/%2/%3/%4")
        .arg(f->HostEdit->text())
        .arg(f->SpinEdit->value())
        .arg(f->BottomRightPanel->isVisibleTo(f) ? QStringLiteral("details") : QStringLiteral("-"))
        .arg(f->Running() ? QStringLiteral("running") : QStringLiteral("stopped"));
}

QStringList describe(const QList<TPingFrame *> &frames)
{
    QStringList out;
    for (const TPingFrame *f : frames)
        out.append(describe(f));
    return out;
}

void writeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

class TestSession : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScriptedWorld> world;
    std::unique_ptr<TMainForm> form;

    // Builds frames from "host/points/details/running" descriptions.
    void build(const QStringList &column1, const QStringList &column2)
    {
        if (!column2.isEmpty()) {
            form->mmiShow2->setChecked(true);
            form->ShowColumn2();
        }
        for (int column : { 1, 2 }) {
            for (const QString &d : column == 1 ? column1 : column2) {
                const QStringList p = d.split(u'/');
                if (column == 1)
                    form->AddPingFrame();
                else
                    form->AddPingFrame2();
                TPingFrame *f = column == 1 ? form->Board->ColumnFrames1.back() : form->Board->ColumnFrames2.back();
                f->HostEdit->setText(p[0]);
                f->SpinEdit->setValue(p[1].toInt());
                f->BottomRightPanel->setVisible(p[2] == QStringLiteral("details"));
                if (p[3] == QStringLiteral("running")) {
                    f->SetDown(true);
                    f->ContinuousPingSpdBtnClick();
                }
            }
        }
    }

private slots:
    void init()
    {
        world = std::make_unique<ScriptedWorld>();
        form = makeMainForm();
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->Settings->set(&TAppSettings::TimeToWait, 0);
    }
    void cleanup()
    {
        form.reset();
        world.reset();
    }

    void names_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("saved");
        QTest::newRow("other extension") << QStringLiteral("/s/board.ini") << QStringLiteral("/s/board.txt");
        QTest::newRow("none") << QStringLiteral("/s/board") << QStringLiteral("/s/board.txt");
        QTest::newRow("already .txt") << QStringLiteral("/s/a.txt") << QStringLiteral("/s/a.txt");
        QTest::newRow("last extension only") << QStringLiteral("/s/a.tar.gz") << QStringLiteral("/s/a.tar.txt");
        QTest::newRow("dot in a folder") << QStringLiteral("/s.d/board") << QStringLiteral("/s.d/board.txt");
        QTest::newRow("hidden file") << QStringLiteral("/s/.board") << QStringLiteral("/s/.board.txt");
    }
    void names()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, saved);
        QCOMPARE(SessionFile::withTxtExtension(chosen), saved);
        QCOMPARE(SessionFile::proposedName(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))),
            QStringLiteral("Session_2024-03-05_14.07.09.txt"));
    }

    void saveThenLoad_rebuildsTheSameBoard_data()
    {
        QTest::addColumn<QStringList>("column1");
        QTest::addColumn<QStringList>("column2");
        QTest::newRow("one column") << QStringList { QStringLiteral("10.0.0.1/180/details/running"),
            QStringLiteral(" padded host /5/-/stopped") }
                                    << QStringList();
        QTest::newRow("two columns") << QStringList { QStringLiteral("münchen.example/300/-/stopped") }
                                     << QStringList { QStringLiteral("10.0.0.2/5/details/running"),
                                            QStringLiteral("/180/-/stopped") };
        QTest::newRow("empty board") << QStringList() << QStringList();
    }
    void saveThenLoad_rebuildsTheSameBoard()
    {
        QFETCH(QStringList, column1);
        QFETCH(QStringList, column2);
        form->move(40, 30);
        form->resize(700, 400);
        build(column1, column2);
        QCOMPARE(describe(form->Board->ColumnFrames1), column1);
        QCOMPARE(describe(form->Board->ColumnFrames2), column2);
        const QRect geometry(form->pos(), form->size());
        const QString file = form->SsnDir + QStringLiteral("board.txt");
        form->SaveFrameSession(file);

        form->ClearAllFrames();
        form->mmiShow2->setChecked(false);
        form->ShowColumn2();
        form->move(90, 80);
        form->resize(500, 300);
        form->LoadFrameSession(file);
        QCOMPARE(QRect(form->pos(), form->size()), geometry);
        QCOMPARE(form->mmiShow2->isChecked(), !column2.isEmpty());
        QCOMPARE(describe(form->Board->ColumnFrames1), column1);
        QCOMPARE(describe(form->Board->ColumnFrames2), column2);
        QCOMPARE(world->errors.messages, QStringList());
    }

    void save_writesTheFileLineByLine()
    {
        // The preset holds the outer geometry, frame included.
        form->move(200, 100);
        form->resize(QSize(800, 480) - (form->frameGeometry().size() - form->size()));
        QCOMPARE(form->frameGeometry(), QRect(200, 100, 800, 480));
        build({ QStringLiteral("first/180/details/stopped"), QStringLiteral("second/60/-/stopped") }, {});
        const QString file = form->SsnDir + QStringLiteral("small.txt");
        // An earlier, longer board: its extra sections stay, as does a key of our own.
        writeFile(file, "[Frame]\nCount=5\nNote=mine\n[Frame_4]\nHostEditText=old\n");
        form->SaveFrameSession(file);
        QCOMPARE(readFile(file),
            QByteArray("[Frame]\nCount=2\nNote=mine\n[Frame_4]\nHostEditText=old\n"
                       "[Screen]\nPreset=T:100 | L:200 | H:480 | W:800\n"
                       "[FrameColumn2]\nVisible=0\n[Frame2]\nCount=0\n"
                       "[Frame_0]\nHostEditText=first\nSpinEditValue=180\nBottomRightPanelVisible=1\nAutoStart=0\n"
                       "[Frame_1]\nHostEditText=second\nSpinEditValue=60\nBottomRightPanelVisible=0\nAutoStart=0\n"));
    }

    void load_handEditedFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<QStringList>("column1");
        QTest::addColumn<QStringList>("column2");
        QTest::addColumn<bool>("column2Shown");
        QTest::addColumn<int>("errors");
        QTest::newRow("missing and empty host, points out of range")
            << QByteArray("[Frame]\nCount=3\n[Frame_0]\nSpinEditValue=1000\n[Frame_1]\nHostEditText=\nSpinEditValue=0\n"
                          "[Frame_2]\nHostEditText=x\nSpinEditValue=abc\nBottomRightPanelVisible=7\n")
            << false
            << QStringList { QStringLiteral("LocalHost/300/-/stopped"), QStringLiteral("/5/-/stopped"),
                   QStringLiteral("x/180/details/stopped") }
            << QStringList() << false << 0;
        QTest::newRow("hidden column 2 with a count, stale sections ignored") << QByteArray(
            "[FrameColumn2]\nVisible=0\n[Frame2]\nCount=2\n[Frame2_0]\nHostEditText=a\n[Frame2_1]\nHostEditText=b\n"
            "[Frame2_2]\nHostEditText=stale\n") << false << QStringList()
                                                                              << QStringList { QStringLiteral(
                                                                                                   "a/180/-/stopped"),
                                                                                     QStringLiteral("b/180/-/stopped") }
                                                                              << false << 0;
        QTest::newRow("preset with text around it")
            << QByteArray("[Screen]\nPreset=desk T:100 | L:200 | H:480 | W:800 end\n") << true << QStringList()
            << QStringList() << false << 0;
        QTest::newRow("negative preset leaves the window")
            << QByteArray("[Screen]\nPreset=T:100 | L:-1920 | H:480 | W:800\n[Frame]\nCount=1\n") << false
            << QStringList { QStringLiteral("LocalHost/180/-/stopped") } << QStringList() << false << 0;
        QTest::newRow("overflowing preset: window kept, frames still made") << QByteArray(
            "[Screen]\nPreset=T:99999999999 | L:200 | H:480 | W:800\n[Frame]\nCount=1\n[Frame_0]\nHostEditText=kept\n")
                                                                            << false
                                                                            << QStringList { QStringLiteral(
                                                                                   "kept/180/-/stopped") }
                                                                            << QStringList() << false << 0;
        QTest::newRow("empty host to start in the middle: later frames still made, one error")
            << QByteArray(
                   "[Frame]\nCount=3\n[Frame_0]\nHostEditText=10.0.0.1\nAutoStart=1\n[Frame_1]\nHostEditText="
                   "\nAutoStart=1\n"
                   "[Frame_2]\nHostEditText=10.0.0.3\nAutoStart=1\n[FrameColumn2]\nVisible=1\n[Frame2]\nCount=1\n"
                   "[Frame2_0]\nHostEditText=10.0.0.4\nAutoStart=1\n")
            << false
            << QStringList { QStringLiteral("10.0.0.1/180/-/running"), QStringLiteral("/180/-/stopped"),
                   QStringLiteral("10.0.0.3/180/-/running") }
            << QStringList { QStringLiteral("10.0.0.4/180/-/running") } << true << 1;
        // A name that leads nowhere is an error, and the board stays.
        QTest::newRow("file that does not exist")
            << QByteArray() << false << QStringList { QStringLiteral("before/180/-/stopped") }
            << QStringList { QStringLiteral("before2/180/-/stopped") } << true << 1;
    }
    // A preset no screen can show: the window takes what the screens show and stays on them.
    void load_hugePreset_keptOnTheScreens()
    {
        const QString file = form->SsnDir + QStringLiteral("huge.txt");
        writeFile(file, "[Screen]\nPreset=T:2147483647 | L:2147483647 | H:2147483647 | W:2147483647\n");
        runGuarded([&] { form->LoadFrameSession(file); });
        const QRect screen = form->screen()->availableGeometry();
        const QRect outer = form->frameGeometry();
        QVERIFY(outer.width() <= screen.width() && outer.height() <= screen.height());
        QVERIFY(outer.top() >= screen.top() && outer.top() < screen.bottom());
        QVERIFY(screen.intersected(outer).width() >= 100);
    }

    void load_handEditedFiles()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, moved);
        QFETCH(QStringList, column1);
        QFETCH(QStringList, column2);
        QFETCH(bool, column2Shown);
        QFETCH(int, errors);
        build({ QStringLiteral("before/180/-/stopped") }, { QStringLiteral("before2/180/-/stopped") });
        form->move(10, 20);
        form->resize(600, 300);
        const QRect before(form->pos(), form->size());
        const QString file = form->SsnDir + QStringLiteral("edited.txt");
        if (!text.isEmpty())
            writeFile(file, text);
        runGuarded([&] { form->LoadFrameSession(file); });
        QCOMPARE(QRect(form->pos(), form->size()) != before, moved);
        if (moved)
            QCOMPARE(form->frameGeometry(), QRect(200, 100, 800, 480));
        QCOMPARE(describe(form->Board->ColumnFrames1), column1);
        QCOMPARE(describe(form->Board->ColumnFrames2), column2);
        QCOMPARE(form->mmiShow2->isChecked(), column2Shown);
        QCOMPARE(world->errors.messages.size(), errors);
        if (errors)
            QCOMPARE(world->errors.messages.front(),
                text.isEmpty() ? QStringLiteral("Cannot open file \"%1\": no such file or directory.").arg(file)
                               : QStringLiteral("DNS lookup: invalid host name."));
    }

    // Frames in a hidden column 2 (from a hand-edited file) are saved with their sections, so
    // that the count read back names the frames that were on the board.
    void hiddenColumn2WithFrames_savedWhole()
    {
        const QString edited = form->SsnDir + QStringLiteral("edited.txt");
        writeFile(edited,
            "[FrameColumn2]\nVisible=0\n[Frame2]\nCount=2\n[Frame2_0]\nHostEditText=a\n"
            "[Frame2_1]\nHostEditText=b\nSpinEditValue=60\n");
        form->LoadFrameSession(edited);
        QVERIFY(!form->mmiShow2->isChecked());
        const QString copy = form->SsnDir + QStringLiteral("copy.txt");
        form->SaveFrameSession(copy);
        form->ClearAllFrames();
        form->LoadFrameSession(copy);
        QCOMPARE(describe(form->Board->ColumnFrames2),
            (QStringList { QStringLiteral("a/180/-/stopped"), QStringLiteral("b/60/-/stopped") }));
    }

    // With AutoStartPinging on, the close saves the board (or deletes the file when both
    // columns are empty) and the next start rebuilds it, running frames pinging again.
    void autosave_atCloseAndRestoredAtStart_data()
    {
        QTest::addColumn<bool>("autoStart");
        QTest::addColumn<QStringList>("column1");
        QTest::addColumn<QStringList>("column2");
        QTest::addColumn<QByteArray>("fileAfterClose"); // "<missing>", "<kept>" or "<board>"
        QTest::newRow("on: saved and restored")
            << true
            << QStringList { QStringLiteral("10.0.0.1/180/details/running"), QStringLiteral("idle/30/-/stopped") }
            << QStringList { QStringLiteral("10.0.0.2/180/-/running") } << QByteArray("<board>");
        QTest::newRow("on, frames only in column 2: saved and restored")
            << true << QStringList()
            << QStringList { QStringLiteral("10.0.0.3/180/-/running"), QStringLiteral("x/180/-/stopped") }
            << QByteArray("<board>");
        QTest::newRow("on, empty board: file deleted")
            << true << QStringList() << QStringList() << QByteArray("<missing>");
        QTest::newRow("off: file untouched, not loaded")
            << false << QStringList { QStringLiteral("y/180/-/stopped") } << QStringList() << QByteArray("<kept>");
    }
    void autosave_atCloseAndRestoredAtStart()
    {
        QFETCH(bool, autoStart);
        QFETCH(QStringList, column1);
        QFETCH(QStringList, column2);
        QFETCH(QByteArray, fileAfterClose);
        const QString file = form->AutoSaveSessionName();
        const QByteArray earlier = "[Frame]\nCount=1\n[Frame_0]\nHostEditText=earlier\n";
        writeFile(file, earlier);
        form->Settings->set(&TAppSettings::AutoStartPinging, autoStart);
        build(column1, column2);
        form->close();
        QVERIFY(!form->isVisible());
        if (fileAfterClose == "<kept>")
            QCOMPARE(readFile(file), earlier);
        else if (fileAfterClose == "<missing>")
            QVERIFY(!QFile::exists(file));
        else {
            const SessionFile::Board saved = SessionFile::read(ProfileFile(file));
            QCOMPARE(saved.column1.size(), column1.size());
            QCOMPARE(saved.column2.size(), column2.size());
        }

        ProfileFile ini(form->IniFileName());
        ini.writeBool(QStringLiteral("Section-Settings"), QStringLiteral("AutoStartPinging"), autoStart);
        ini.writeBool(QStringLiteral("Section-Settings"), QStringLiteral("PauseForRemoveFrame"), false);
        ini.save();
        const std::size_t echoesBefore = world->echoes.count();
        form = makeMainForm();
        if (fileAfterClose == "<board>") {
            QCOMPARE(describe(form->Board->ColumnFrames1), column1);
            QCOMPARE(describe(form->Board->ColumnFrames2), column2);
            const auto running = (column1 + column2).filter(QStringLiteral("/running")).size();
            QCOMPARE(world->echoes.count(), echoesBefore + running); // the running frames ping again
        } else {
            QVERIFY(form->Board->ColumnFrames1.isEmpty());
        }
        QCOMPARE(world->errors.messages, QStringList());
    }

    // An empty board at the close removes the autosaved session, but never what stands in its
    // place when that is not a regular file: a link stays a link (an empty board is written
    // through it), and a FIFO or a link loop is left as it is, the close saying it cannot write.
    void emptyBoardAtClose_linksAndSpecialFilesKept_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("link to a regular file") << QStringLiteral("link");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("link to itself") << QStringLiteral("loop");
    }
    void emptyBoardAtClose_linksAndSpecialFilesKept()
    {
        QFETCH(QString, kind);
        const QString file = form->AutoSaveSessionName();
        const QString real = form->SsnDir + QStringLiteral("real.txt");
        form->Settings->set(&TAppSettings::AutoStartPinging, true);
        build({ QStringLiteral("gone/180/-/stopped") }, {});
        form->ClearAllFrames();
        if (kind == QStringLiteral("link")) {
            writeFile(real, "[Frame]\nCount=1\n[Frame_0]\nHostEditText=earlier\n");
            QVERIFY(QFile::link(QStringLiteral("real.txt"), file));
        } else {
            QVERIFY(makeSpecialFile(file, kind));
        }
        form->close();
        const QFileInfo after(file);
        if (kind == QStringLiteral("link")) {
            QVERIFY(!form->isVisible());
            QCOMPARE(world->errors.messages, QStringList());
            QVERIFY(after.isSymLink());
            QCOMPARE(SessionFile::read(ProfileFile(real)).column1.size(), 0);
        } else {
            QTRY_COMPARE(world->errors.messages, QStringList { QStringLiteral("Unable to write to ") + file });
            QCOMPARE(after.isSymLink(), kind == QStringLiteral("loop"));
            if (kind == QStringLiteral("fifo"))
                QVERIFY(after.exists() && !after.isFile());
        }
    }

    // A settings or recent-files file that cannot be read is said once at the start and kept
    // as it is at the close, unless what it holds was changed meanwhile.
    void unreadableSettingsFiles_keptUnlessChanged_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("change");
        auto row = [](const char *title, const char *name, const char *kind, bool change) {
            QTest::newRow(title) << QString::fromLatin1(name) << QString::fromLatin1(kind) << change;
        };
        row("settings, 16 MiB: kept", "Skylark.INI", "huge", false);
        row("settings, FIFO: kept", "Skylark.INI", "fifo", false);
        row("settings, link to itself: kept", "Skylark.INI", "loop", false);
        row("settings, 16 MiB, a setting changed: written", "Skylark.INI", "huge", true);
        row("recent files, 16 MiB: kept", "LoadFile-MRU.INI", "huge", false);
        row("recent files, FIFO: kept", "LoadFile-MRU.INI", "fifo", false);
        row("recent files, 16 MiB, a file loaded: written", "LoadFile-MRU.INI", "huge", true);
    }
    void unreadableSettingsFiles_keptUnlessChanged()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(bool, change);
        const QString file = world->home.dtaDir() + name;
        form->close();
        form.reset();
        QFile::remove(file);
        QVERIFY(makeSpecialFile(file, kind));
        struct stat before = {};
        QVERIFY(::lstat(QFile::encodeName(file).constData(), &before) == 0);
        form = makeMainForm();
        QCOMPARE(world->errors.messages.size(), 1);
        QVERIFY2(world->errors.messages.front().startsWith(
                     QStringLiteral("Cannot open file \"%1\": %2").arg(file, specialFileReason(kind))),
            qPrintable(world->errors.messages.front()));
        const QString listed = form->LstDir + QStringLiteral("listed.txt");
        if (change && name == QStringLiteral("Skylark.INI"))
            form->Settings->set(&TAppSettings::NotifyHostDownUp, true);
        if (change && name != QStringLiteral("Skylark.INI")) {
            writeFile(listed, "h\r\n");
            form->LoadListFile(listed);
        }
        form->close();
        QVERIFY(!form->isVisible());
        form.reset();
        QCOMPARE(world->errors.messages.size(), 1);
        struct stat after = {};
        QVERIFY(::lstat(QFile::encodeName(file).constData(), &after) == 0);
        if (!change) {
            QCOMPARE(after.st_ino, before.st_ino);
            QCOMPARE(after.st_mode, before.st_mode);
            QCOMPARE(after.st_size, before.st_size);
            QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        } else if (name == QStringLiteral("Skylark.INI")) {
            QVERIFY(ProfileFile(file).readBool(
                QStringLiteral("Section-Settings"), QStringLiteral("NotifyHostDownUp"), false));
        } else {
            QCOMPARE(ProfileFile(file).readString(QStringLiteral("MRU List"), QStringLiteral("1"), QString()), listed);
        }
    }

    // A TimeToWait of 24.8 days in the settings file: the start-up load (whose clear finds
    // nothing running) does not sleep, and the value is kept within its bound from then on.
    void hugeTimeToWait_startUpLoadsTheSessionAtOnce()
    {
        form->close();
        form.reset();
        {
            ProfileFile ini(world->home.dtaDir() + QStringLiteral("Skylark.INI"));
            ini.writeBool(QStringLiteral("Section-Settings"), QStringLiteral("AutoStartPinging"), true);
            ini.writeInteger(QStringLiteral("Section-Misc"), QStringLiteral("TimeToWait"), 2147483647);
            ini.save();
        }
        writeFile(world->home.dtaDir() + QStringLiteral("Sessions/Session_AutoSave.txt"),
            "[Frame]\nCount=1\n[Frame_0]\nHostEditText=restored\n");
        form = makeMainForm();
        QCOMPARE(describe(form->Board->ColumnFrames1), QStringList { QStringLiteral("restored/180/-/stopped") });
        QCOMPARE(form->AppSettings.TimeToWait, kMaxTimeToWait);
        form->close();
        QVERIFY(!form->isVisible());
        QCOMPARE(ProfileFile(form->IniFileName())
                     .readInteger(QStringLiteral("Section-Misc"), QStringLiteral("TimeToWait"), 0),
            kMaxTimeToWait);
    }

    // The autosaved session places the window at start-up, as outer geometry, over what the
    // settings file's save switches ask for; three starts and closes without a change write the
    // same values back, in the session and in the settings file. (Under a window manager, which
    // frames the window after the load, tests/window/window_cycles.sh checks the same.)
    void autosavedPreset_winsAtStart_andStartsAndClosesKeepIt_data()
    {
        QTest::addColumn<bool>("switches");
        QTest::newRow("save switches off") << false;
        QTest::newRow("save switches on, another geometry") << true;
    }
    void autosavedPreset_winsAtStart_andStartsAndClosesKeepIt()
    {
        QFETCH(bool, switches);
        form->close();
        form.reset();
        {
            ProfileFile ini(world->home.dtaDir() + QStringLiteral("Skylark.INI"));
            ini.writeBool(QStringLiteral("Section-Settings"), QStringLiteral("AutoStartPinging"), true);
            ini.writeBool(QStringLiteral("Section-Settings"), QStringLiteral("PauseForRemoveFrame"), false);
            for (const char *key : { "SaveFormSize", "SaveFormPosition" })
                ini.writeBool(QStringLiteral("Section-Window"), QLatin1String(key), switches);
            for (const auto &[key, value] : { std::pair { "Top", 50 }, std::pair { "Left", 60 },
                     std::pair { "Height", 300 }, std::pair { "Width", 500 } })
                ini.writeInteger(QStringLiteral("Section-Window"), QLatin1String(key), value);
            ini.save();
        }
        const QString session = world->home.dtaDir() + QStringLiteral("Sessions/Session_AutoSave.txt");
        writeFile(
            session, "[Screen]\nPreset=T:100 | L:110 | H:400 | W:700\n[Frame]\nCount=1\n[Frame_0]\nHostEditText=x\n");
        for (int run = 1; run <= 3; ++run) {
            form = makeMainForm();
            const QRect outer = form->frameGeometry();
            QCOMPARE(QList<int>({ outer.top(), outer.left(), outer.height(), outer.width() }),
                QList<int>({ 100, 110, 400, 700 }));
            form->close();
            QVERIFY(!form->isVisible());
            form.reset();
            QCOMPARE(SessionFile::read(ProfileFile(session)).preset, QStringLiteral("T:100 | L:110 | H:400 | W:700"));
            const ProfileFile ini(world->home.dtaDir() + QStringLiteral("Skylark.INI"));
            QList<int> written;
            for (const char *key : { "Top", "Left", "Height", "Width" })
                written << ini.readInteger(QStringLiteral("Section-Window"), QLatin1String(key), -1);
            QCOMPARE(written, QList<int>({ 100, 110, 400, 700 }));
        }
        form = makeMainForm();
    }

    // A broken autosaved list is reported, and the session is restored all the same.
    void unreadableList_doesNotStopTheSessionRestore()
    {
        form->Settings->set(&TAppSettings::AutoStartPinging, true);
        build({ QStringLiteral("kept.example/180/-/stopped") }, {});
        form->close();
        ProfileFile ini(form->IniFileName());
        ini.writeBool(QStringLiteral("Section-Settings"), QStringLiteral("AutoStartPinging"), true);
        ini.save();
        const QString list = form->LstDir + QStringLiteral("AutoSaveList.txt");
        QFile::remove(list);
        QDir().mkpath(list); // a folder in the list's place
        form = makeMainForm();
        QCOMPARE(world->errors.messages.size(), 1);
        QVERIFY(world->errors.messages.front().startsWith(QStringLiteral("Cannot open file \"") + list));
        QCOMPARE(describe(form->Board->ColumnFrames1), QStringList { QStringLiteral("kept.example/180/-/stopped") });
    }

    // An autosaved session the program may not read stays the user's unless the board changes.
    void unreadableAutosavedSession_keptUnlessBoardChanged_data()
    {
        QTest::addColumn<bool>("change");
        QTest::newRow("board unchanged: file kept") << false;
        QTest::newRow("frame added: board saved") << true;
    }
    void unreadableAutosavedSession_keptUnlessBoardChanged()
    {
        QFETCH(bool, change);
        if (::geteuid() != 0) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("needs root to read files as another user");
            QSKIP("needs root");
        }
        const QString file = form->AutoSaveSessionName();
        form->close();
        form.reset();
        {
            ProfileFile ini(world->home.dtaDir() + QStringLiteral("Skylark.INI"));
            ini.writeBool(QStringLiteral("Section-Settings"), QStringLiteral("AutoStartPinging"), true);
            ini.save();
        }
        const QByteArray precious = "[Frame]\nCount=1\n[Frame_0]\nHostEditText=precious\n";
        writeFile(file, precious);
        QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions()));
        QProcess::execute(
            QStringLiteral("chown"), { QStringLiteral("-R"), QStringLiteral("65534:65534"), world->home.path() });
        QVERIFY(::chown(QFile::encodeName(file).constData(), 0, 0) == 0);
        struct FsUid
        {
            FsUid()
            {
                ::setfsuid(65534);
                ::setfsgid(65534);
            }
            ~FsUid()
            {
                ::setfsuid(0);
                ::setfsgid(0);
            }
        } asNobody;
        form = makeMainForm();
        QCOMPARE(world->errors.messages.size(), 1);
        QVERIFY(world->errors.messages.front().startsWith(QStringLiteral("Cannot open file \"") + file));
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        if (change)
            form->aAddPingFrame->trigger();
        form->close();
        QVERIFY(!form->isVisible());
        ::setfsuid(0);
        if (change)
            QVERIFY(readFile(file).contains("HostEditText=LocalHost"));
        else
            QCOMPARE(readFile(file), precious);
    }

    // The commands: Save proposes a time-stamped name in the sessions folder, asks before
    // replacing (from then on, for list saves too) and forces ".txt"; Load and Select Session
    // File rebuild the board; a right press in the chooser opens the file instead.
    void commands_saveLoadAndSelect()
    {
        PinnedClock clock(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
        build({ QStringLiteral("saved.example/90/-/stopped") }, {});
        QString proposed, folder;
        QTimer::singleShot(30, [&] {
            auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(d && d->testOption(QFileDialog::DontUseNativeDialog));
            folder = d->directory().absolutePath() + u'/';
            proposed = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
            d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("board.ini"));
            static_cast<QDialog *>(d)->accept();
        });
        form->aSaveFrameSession->trigger();
        QCOMPARE(proposed, QStringLiteral("Session_2024-03-05_14.07.09.txt"));
        QCOMPARE(folder, form->SsnDir);
        QVERIFY(QFile::exists(form->SsnDir + QStringLiteral("board.txt")));
        QVERIFY(!QFile::exists(form->SsnDir + QStringLiteral("board.ini")));

        // Saving "board.ini" again asks about replacing "board.txt", the file really written.
        QString asked;
        QTimer::singleShot(30, [&] {
            auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(d);
            d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("board.ini"));
            static_cast<QDialog *>(d)->accept();
            QTimer::singleShot(30, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                QVERIFY(box && box->objectName() == QStringLiteral("ReplaceFileBox"));
                asked = box->text();
                box->button(QMessageBox::Yes)->click();
            });
        });
        form->aSaveFrameSession->trigger();
        QVERIFY2(
            asked.startsWith(u'"' + form->SsnDir + QStringLiteral("board.txt\" already exists.")), qPrintable(asked));

        form->ClearAllFrames();
        QTimer::singleShot(30, [&] {
            auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(d);
            d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))
                ->setText(form->SsnDir + QStringLiteral("board.txt"));
            static_cast<QDialog *>(d)->accept();
        });
        form->aLoadFrameSession->trigger();
        QCOMPARE(describe(form->Board->ColumnFrames1), QStringList { QStringLiteral("saved.example/90/-/stopped") });

        form->ClearAllFrames();
        for (Qt::MouseButton button : { Qt::LeftButton, Qt::RightButton }) {
            QStringList opened;
            TMainForm::SetOpenUrlHandler([&](const QString &p) {
                opened.append(p);
                return true;
            });
            QTimer::singleShot(30, [&, button] {
                TSelectFileFrame *f = form->SelectFileDlg->SelectFileFrame;
                const auto items = f->FileListBox->findItems(QStringLiteral("board.txt"), Qt::MatchExactly);
                QVERIFY(!items.isEmpty());
                QTest::mousePress(
                    f->FileListBox->viewport(), button, {}, f->FileListBox->visualItemRect(items.front()).center());
            });
            form->aSelectSessionFile->trigger();
            TMainForm::SetOpenUrlHandler({});
            if (button == Qt::LeftButton) {
                QCOMPARE(
                    describe(form->Board->ColumnFrames1), QStringList { QStringLiteral("saved.example/90/-/stopped") });
                form->ClearAllFrames();
            } else {
                QVERIFY(form->Board->ColumnFrames1.isEmpty());
                QCOMPARE(opened, QStringList { form->SsnDir + QStringLiteral("board.txt") });
            }
        }

        // Reload takes the autosaved session, and does nothing without one.
        form->aReloadAutosaveSession->trigger();
        QVERIFY(form->Board->ColumnFrames1.isEmpty());
        QFile::copy(form->SsnDir + QStringLiteral("board.txt"), form->AutoSaveSessionName());
        form->aReloadAutosaveSession->trigger();
        QCOMPARE(describe(form->Board->ColumnFrames1), QStringList { QStringLiteral("saved.example/90/-/stopped") });
        QCOMPARE(world->errors.messages, QStringList());
    }

    // A file's frame counts are bounded before anything is made: at most 1000 frames a column,
    // and one message names the file and the counts it gives.
    void read_boundsTheFrameCounts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("read1");
        QTest::addColumn<int>("read2");
        QTest::addColumn<QString>("message");
        QTest::newRow("at the bound") << QByteArray("[Frame]\nCount=1000\n[Frame2]\nCount=1000\n") << 1000 << 1000
                                      << QString();
        QTest::newRow("one over in column 1")
            << QByteArray("[Frame]\nCount=1001\n") << 1000 << 0 << QStringLiteral("lists 1001 frames in column 1;");
        QTest::newRow("two thousand million in column 2") << QByteArray("[Frame2]\nCount=2000000000\n") << 0 << 1000
                                                          << QStringLiteral("lists 2000000000 frames in column 2;");
        QTest::newRow("both over") << QByteArray("[Frame]\nCount=0x7fffffff\n[Frame2]\nCount=5000\n") << 1000 << 1000
                                   << QStringLiteral("lists 2147483647 frames in column 1 and 5000 in column 2;");
        QTest::newRow("negative") << QByteArray("[Frame]\nCount=-3\n") << 0 << 0 << QString();
    }
    void read_boundsTheFrameCounts()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, read1);
        QFETCH(int, read2);
        QFETCH(QString, message);
        const QString file = form->SsnDir + QStringLiteral("counts.txt");
        writeFile(file, text);
        const SessionFile::Board board = SessionFile::read(ProfileFile(file));
        QCOMPARE(board.column1.size(), read1);
        QCOMPARE(board.column2.size(), read2);
        const QString said = SessionFile::tooManyFramesMessage(file, board);
        if (message.isEmpty()) {
            QCOMPARE(said, QString());
        } else {
            QVERIFY2(said.contains(u'"' + file + u'"'), qPrintable(said));
            QVERIFY2(said.contains(message), qPrintable(said));
            QVERIFY2(said.contains(QStringLiteral("first 1000 frames")), qPrintable(said));
        }
    }

    // The load makes the first 1000 frames of the column and says so once.
    void load_tooManyFrames_makesTheFirstThousandAndSaysSoOnce()
    {
        QByteArray text = "[Frame]\nCount=1001\n";
        for (int i = 0; i < 1001; ++i)
            text += "[Frame_" + QByteArray::number(i) + "]\nHostEditText=h" + QByteArray::number(i) + "\n";
        const QString file = form->SsnDir + QStringLiteral("many.txt");
        writeFile(file, text);
        runGuarded([&] { form->LoadFrameSession(file); });
        QCOMPARE(form->Board->ColumnFrames1.size(), 1000);
        QCOMPARE(form->Board->ColumnFrames1.back()->HostEdit->text(), QStringLiteral("h999"));
        QCOMPARE(form->Board->ColumnFrames1.back()->objectName(), QStringLiteral("PingFrame_999"));
        QCOMPARE(world->errors.messages.size(), 1);
        QVERIFY(world->errors.messages.front().contains(u'"' + file + u'"'));
        QVERIFY(world->errors.messages.front().contains(QStringLiteral("1001 frames")));
    }

    // A long load lets events through; a close that comes meanwhile (the user's or a signal's)
    // ends it at once, and the autosaved session gets the whole board of the file, the frames
    // not yet made included.
    // A save during a load (the close's autosave, Save Frame Session) writes the frames not
    // yet made too.
    void closeDuringLoad_endsItAndKeepsTheWholeBoard_data()
    {
        QTest::addColumn<QString>("during");
        QTest::newRow("the user's close") << QStringLiteral("close");
        QTest::newRow("a termination signal") << QStringLiteral("signal");
        QTest::newRow("Save Frame Session") << QStringLiteral("save");
    }
    void closeDuringLoad_endsItAndKeepsTheWholeBoard()
    {
        QFETCH(QString, during);
        constexpr int n = 400;
        QByteArray text
            = "[Frame]\nCount=" + QByteArray::number(n) + "\n[FrameColumn2]\nVisible=1\n[Frame2]\nCount=2\n";
        QStringList hosts;
        for (int i = 0; i < n; ++i) {
            hosts << QStringLiteral("h%1").arg(i);
            text += "[Frame_" + QByteArray::number(i) + "]\nHostEditText=h" + QByteArray::number(i)
                + "\nSpinEditValue=" + QByteArray::number(5 + i % 200) + "\n";
        }
        text += "[Frame2_0]\nHostEditText=second\n[Frame2_1]\nHostEditText=third\n";
        const QString file = form->SsnDir + QStringLiteral("large.txt");
        writeFile(file, text);
        form->Settings->set(&TAppSettings::AutoStartPinging, true);
        const QString savedFile = during == QStringLiteral("save") ? form->SsnDir + QStringLiteral("during.txt")
                                                                   : form->AutoSaveSessionName();
        int turns = 0, framesThen = -1;
        QTimer::singleShot(0, [&] {
            ++turns;
            framesThen = int(form->Board->ColumnFrames1.size());
            if (during == QStringLiteral("signal"))
                form->CloseUnattended();
            else if (during == QStringLiteral("close"))
                form->close();
            else
                runGuarded([&] { form->SaveFrameSession(savedFile); });
        });
        runGuarded([&] { form->LoadFrameSession(file); });
        QCOMPARE(turns, 1); // the event loop turned during the load
        QVERIFY2(framesThen < n, "the load was over before the event loop turned");
        if (during == QStringLiteral("save"))
            QCOMPARE(form->Board->ColumnFrames1.size(), n);
        else
            QVERIFY2(form->Board->ColumnFrames1.size() < n, "the close did not end the load");
        QTRY_VERIFY(during == QStringLiteral("save") || !form->isVisible());
        const SessionFile::Board saved = SessionFile::read(ProfileFile(savedFile));
        QStringList savedHosts;
        for (const SessionFile::Frame &f : saved.column1)
            savedHosts << f.host;
        QCOMPARE(savedHosts, hosts);
        QCOMPARE(saved.column1.back().points, 5 + (n - 1) % 200);
        QCOMPARE(saved.column2.size(), 2);
        QCOMPARE(saved.column2.back().host, QStringLiteral("third"));
        QCOMPARE(world->errors.messages, QStringList());
    }

    // A name typed in Load Frame Session must be a file that is there: the dialog says so and
    // the board stays.
    void loadFrameSession_missingNameKeepsTheBoard()
    {
        build({ QStringLiteral("kept/90/details/running") }, {});
        QString said;
        QTimer::singleShot(30, [&] {
            auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(d);
            d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("mistyped.txt"));
            QTimer::singleShot(30, [&] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    said = box->text();
                    box->buttons().constFirst()->click();
                }
            });
            static_cast<QDialog *>(d)->accept();
            if (d->isVisible())
                d->reject();
        });
        form->aLoadFrameSession->trigger();
        QVERIFY2(said.contains(QStringLiteral("mistyped.txt")) && said.contains(QStringLiteral("not found")),
            qPrintable(said));
        QCOMPARE(describe(form->Board->ColumnFrames1), QStringList { QStringLiteral("kept/90/details/running") });
        QCOMPARE(world->errors.messages, QStringList());
    }

    // A session file that is there but cannot be read (a folder, a FIFO, a device, a file far
    // too large) is refused with a message before anything is cleared, by every command.
    void specialSessionFiles_keepTheBoard_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("command");
        QTest::newRow("folder, Select Session File") << QStringLiteral("folder") << QStringLiteral("select");
        QTest::newRow("FIFO, Load Frame Session") << QStringLiteral("fifo") << QStringLiteral("load");
        QTest::newRow("FIFO, Reload") << QStringLiteral("fifo") << QStringLiteral("reload");
        QTest::newRow("link to /dev/zero, Select Session File")
            << QStringLiteral("devzero") << QStringLiteral("select");
        QTest::newRow("16 MiB and a byte, Reload") << QStringLiteral("huge") << QStringLiteral("reload");
        QTest::newRow("link that leads nowhere, Select Session File")
            << QStringLiteral("dangling") << QStringLiteral("select");
        QTest::newRow("link to itself, Select Session File") << QStringLiteral("loop") << QStringLiteral("select");
        QTest::newRow("link that leads nowhere, Reload") << QStringLiteral("dangling") << QStringLiteral("reload");
        QTest::newRow("link to itself, Reload") << QStringLiteral("loop") << QStringLiteral("reload");
    }
    void specialSessionFiles_keepTheBoard()
    {
        QFETCH(QString, kind);
        QFETCH(QString, command);
        build({ QStringLiteral("kept/90/details/running") }, {});
        const QString file = command == QStringLiteral("reload") ? form->AutoSaveSessionName()
                                                                 : form->SsnDir + QStringLiteral("odd.txt");
        QVERIFY(makeSpecialFile(file, kind));
        if (command == QStringLiteral("select")) {
            QTimer::singleShot(30, [&] {
                TSelectFileFrame *f = form->SelectFileDlg->SelectFileFrame;
                const auto items = f->FileListBox->findItems(QStringLiteral("odd.txt"), Qt::MatchExactly);
                QVERIFY(!items.isEmpty());
                QTest::mousePress(f->FileListBox->viewport(), Qt::LeftButton, {},
                    f->FileListBox->visualItemRect(items.front()).center());
            });
            form->aSelectSessionFile->trigger();
        } else if (command == QStringLiteral("load")) {
            QTimer::singleShot(30, [&] {
                auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                QVERIFY(d);
                d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(file);
                static_cast<QDialog *>(d)->accept();
            });
            form->aLoadFrameSession->trigger();
        } else {
            form->aReloadAutosaveSession->trigger();
        }
        QCOMPARE(world->errors.messages,
            QStringList { QStringLiteral("Cannot open file \"%1\": %2").arg(file, specialFileReason(kind)) });
        QCOMPARE(describe(form->Board->ColumnFrames1), QStringList { QStringLiteral("kept/90/details/running") });
    }

    // An autosaved list or session that is a FIFO does not hold up the start: it is reported,
    // the other file is restored, and the close leaves the FIFO where it was.
    void fifoInPlaceOfAnAutosavedFile_startsAnyway_data()
    {
        QTest::addColumn<bool>("listIsFifo");
        QTest::newRow("AutoSaveList.txt") << true;
        QTest::newRow("Session_AutoSave.txt") << false;
    }
    void fifoInPlaceOfAnAutosavedFile_startsAnyway()
    {
        QFETCH(bool, listIsFifo);
        form->Settings->set(&TAppSettings::AutoStartPinging, true);
        build({ QStringLiteral("restored/180/-/stopped") }, {});
        form->SetHostLines({ QStringLiteral("listed") });
        form->close();
        form.reset();
        {
            ProfileFile ini(world->home.dtaDir() + QStringLiteral("Skylark.INI"));
            ini.writeBool(QStringLiteral("Section-Settings"), QStringLiteral("AutoStartPinging"), true);
            ini.writeBool(QStringLiteral("Section-Settings"), QStringLiteral("PauseForRemoveFrame"), false);
            ini.save();
        }
        const QString fifo = listIsFifo ? world->home.dtaDir() + QStringLiteral("LST/AutoSaveList.txt")
                                        : world->home.dtaDir() + QStringLiteral("Sessions/Session_AutoSave.txt");
        QVERIFY(QFile::remove(fifo));
        QVERIFY(makeSpecialFile(fifo, QStringLiteral("fifo")));
        form = makeMainForm();
        QVERIFY(form->FormActivated);
        QCOMPARE(world->errors.messages,
            QStringList { QStringLiteral("Cannot open file \"%1\": it is not a regular file.").arg(fifo) });
        if (listIsFifo)
            QCOMPARE(describe(form->Board->ColumnFrames1), QStringList { QStringLiteral("restored/180/-/stopped") });
        else
            QCOMPARE(form->HostLines(), QStringList { QStringLiteral("listed") });
        form->close();
        QVERIFY(!form->isVisible());
        QVERIFY(QFileInfo(fifo).isFile() == false && QFileInfo(fifo).exists());
    }

    // While a load waits for pings, the other frame commands are refused.
    void load_isOneBoardCommand()
    {
        form->Settings->set(&TAppSettings::TimeToWait, 20);
        build({ QStringLiteral("10.0.0.1/180/-/running") }, {});
        const QString file = form->SsnDir + QStringLiteral("s.txt");
        writeFile(file, "[Frame]\nCount=1\n[Frame_0]\nHostEditText=loaded\n");
        bool busyDuring = false;
        int framesDuring = -1;
        QTimer::singleShot(0, [&] {
            busyDuring = form->BoardBusy();
            form->aAddPingFrame->trigger();
            form->aStartAllPinging->trigger();
            framesDuring = int(form->Board->ColumnFrames1.size());
        });
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, true);
        form->Settings->set(&TAppSettings::CntDwnFrm, 1); // the pause closes itself
        form->LoadFrameSession(file);
        QVERIFY(busyDuring);
        QCOMPARE(framesDuring, 1);
        QCOMPARE(describe(form->Board->ColumnFrames1), QStringList { QStringLiteral("loaded/180/-/stopped") });
    }
};

QTEST_MAIN(TestSession)
#include "tst_session.moc"
