// The main window's start-up, menus, shell commands and shutdown.
#include "application.h"
#include "columnpanel.h"
#include "hostlistbox.h"
#include "mainform.h"
#include "pingframe.h"
#include "profilefile.h"
#include "sessionfile.h"
#include "popupmenu.h"
#include "scripted.h"
#include "selectfiledlg.h"
#include "selectfileframe.h"
#include "support/fulldisk.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QProxyStyle>
#include <QSignalSpy>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QLabel>
#include <QListWidget>
#include <QToolButton>

#include <csignal>

namespace {
// A caption as shown: the "&" that marks the access key removed, "&&" read as "&".
QString shown(const QString &caption)
{
    QString out;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size())
            ++i;
        out.append(caption[i]);
    }
    return out;
}

// The visible items of a menu as captions, "-" for a separator, ">Caption" for a submenu.
QStringList captions(const QWidget *menu, bool visibleOnly = true)
{
    QStringList out;
    for (QAction *a : menu->actions()) {
        if (visibleOnly && !a->isVisible())
            continue;
        if (a->isSeparator())
            out.append(QStringLiteral("-"));
        else if (a->menu())
            out.append(QStringLiteral(">") + shown(a->text()));
        else
            out.append(shown(a->text()));
    }
    return out;
}

// The object names of a menu's items in order, "-" for a separator.
QStringList names(const QWidget *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        out.append(a->isSeparator() ? QStringLiteral("-") : a->objectName());
    return out;
}

// Every item of a menu and of its submenus, hidden ones included, keyed by the menu that shows it.
void collectItems(QWidget *menu, QList<std::pair<QWidget *, QAction *>> &out)
{
    for (QAction *a : menu->actions()) {
        if (a->isSeparator())
            continue;
        out.append({ menu, a });
        if (a->menu())
            collectItems(a->menu(), out);
    }
}

QStringList allCaptions(const QWidget *menu)
{
    QStringList out;
    for (QAction *a : menu->actions()) {
        if (!a->isVisible())
            continue;
        out.append(shown(a->text()));
        if (a->menu())
            out += allCaptions(a->menu());
    }
    return out;
}

QByteArray readFile(const QString &f)
{
    QFile file(f);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}
} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT
private slots:
    void firstRun_createsFoldersAndWritesSettingsInOrder()
    {
        FreshHome home;
        ErrorRecorder errors;
        auto form = makeMainForm();
        QCOMPARE(form->windowTitle(), QStringLiteral("Skylark"));
        QCOMPARE(
            form->windowIcon().availableSizes(), QList<QSize>({ QSize(48, 48), QSize(128, 128), QSize(256, 256) }));
        QCOMPARE(form->DtaDir, home.dtaDir());
        QCOMPARE(form->LstDir, home.dtaDir() + QStringLiteral("LST/"));
        QCOMPARE(form->SsnDir, home.dtaDir() + QStringLiteral("Sessions/"));
        // The user's own runtime folder, not a shared temporary folder; private to the user.
        QCOMPARE(form->TmpDir,
            QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/Skylark/TMP/"));
        QCOMPARE(QFileInfo(form->TmpDir).permissions() & 0x0077, QFileDevice::Permissions());
        QCOMPARE(form->ExeDir, QCoreApplication::applicationDirPath() + QStringLiteral("/"));
        for (const QString &d : { form->DtaDir, form->LstDir, form->SsnDir, form->TmpDir })
            QVERIFY2(QFileInfo(d).isDir(), qPrintable(d));
        QCOMPARE(form->HostLines(), QStringList());
        QCOMPARE(form->AppSettings.TimeToWait, 400);

        form->close();
        QVERIFY(!form->isVisible());
        QCOMPARE(readFile(form->LstDir + QStringLiteral("AutoSaveList.txt")), QByteArray());
        const ProfileFile ini(form->DtaDir + QStringLiteral("Skylark.INI"));
        QCOMPARE(ini.sectionNames(),
            QStringList(
                { QStringLiteral("Section-Window"), QStringLiteral("Section-Update"), QStringLiteral("Section-Options"),
                    QStringLiteral("Section-Settings"), QStringLiteral("Section-Misc") }));
        // The outer size, frame included.
        QCOMPARE(ini.readInteger(QStringLiteral("Section-Window"), QStringLiteral("Width"), 0),
            form->frameGeometry().width());
        QCOMPARE(errors.messages, QStringList());
    }

    // What the close writes, line by line: the write order of a new file, keys kept in place
    // in an existing one, the shown settings page (-1 for none), and the frames cleared.
    void close_writesSettingsLineByLine_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QByteArray>("after");
        const QByteArray window
            = "[Section-Window]\nSaveFormSize=0\nSaveFormPosition=0\nDefaultTop=75\nDefaultLeft=75\n"
              "DefaultHeight=280\nDefaultWidth=600\nTop={y}\nLeft={x}\nHeight={h}\nWidth={w}\n";
        const QByteArray update = "[Section-Update]\nFtpHostName=\nFtpUserName=\nFtpPassWord=\nAppName=\n";
        const QByteArray options = "[Section-Options]\nStyle=Windows\nStylesMM=0\nStylesEnabled=0\n";
        const QByteArray misc = "[Section-Misc]\nTimeToWait=400\n";
        QTest::newRow("first run, two running frames") << QByteArray() << 2
                                                       << window + update + options
                + "[Section-Settings]\nCurrentPage=2\nAutoStartPinging=0\nStartTimeoutPnlVisible=1\nConvertToLC=0\n"
                  "ConvertToUC=0\nPauseForRemoveFrame=0\nCntDwnFrm=10\nNotifyHostDownUp=0\nLogResults=0\n"
                + misc;
        QTest::newRow("both conversions on, page out of range, keys kept in place")
            << QByteArray("[Section-Settings]\nConvertToUC=1\nCurrentPage=7\nConvertToLC=1\nPauseForRemoveFrame=0\n")
            << 0
            << "[Section-Settings]\nConvertToUC=1\nCurrentPage=-1\nConvertToLC=1\nPauseForRemoveFrame="
               "0\nAutoStartPinging=0\n"
               "StartTimeoutPnlVisible=1\nCntDwnFrm=10\nNotifyHostDownUp=0\nLogResults=0\n"
                + window + update + options + misc;
        QTest::newRow("styles page and presets read back through the dialog, list sections moved to the end")
            << QByteArray(
                   "[Section-Settings]\nCurrentPage=0\n[MainFormSettingsListBox]\n0=T:1 | L:2 | H:300 | W:400\n5=x\n"
                   "[MainFormSettingsListBoxChecked]\n0=1\n")
            << 0
            << "[Section-Settings]\nCurrentPage=0\nAutoStartPinging=0\nStartTimeoutPnlVisible=1\nConvertToLC=0\n"
               "ConvertToUC=0\nPauseForRemoveFrame=1\nCntDwnFrm=10\nNotifyHostDownUp=0\nLogResults=0\n"
                + window + update + options
                + "[MainFormSettingsListBox]\n0=T:1 | L:2 | H:300 | "
                  "W:400\n1=\n[MainFormSettingsListBoxChecked]\n0=1\n1=0\n"
                + misc;
        QTest::newRow("update section always emptied, other keys kept")
            << QByteArray("[Section-Update]\nAppName=x\nOther=kept\n[Section-Misc]\nTimeToWait=400\n") << 0
            << "[Section-Update]\nAppName=\nOther=kept\nFtpHostName=\nFtpUserName=\nFtpPassWord=\n" + misc + window
                + options
                + "[Section-Settings]\nCurrentPage=2\nAutoStartPinging=0\nStartTimeoutPnlVisible=1\nConvertToLC=0\n"
                  "ConvertToUC=0\nPauseForRemoveFrame=1\nCntDwnFrm=10\nNotifyHostDownUp=0\nLogResults=0\n";
    }
    void close_writesSettingsLineByLine()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, frames);
        QFETCH(QByteArray, after);
        ScriptedWorld world;
        QDir().mkpath(world.home.dtaDir());
        const QString ini = world.home.dtaDir() + QStringLiteral("Skylark.INI");
        if (!before.isEmpty()) {
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(before);
        }
        auto form = makeMainForm();
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, form->AppSettings.PauseForRemoveFrame && frames == 0);
        for (int i = 0; i < frames; ++i)
            form->AddHostFrame(QStringLiteral("10.0.0.%1").arg(i + 1), true);
        QList<QPointer<TPingFrame>> made;
        for (TPingFrame *f : form->Board->ColumnFrames1)
            made.append(f);
        const QPoint pos = form->pos();
        const QSize size = form->frameGeometry().size(); // stored with its frame
        form->close();
        QVERIFY(!form->isVisible());
        after.replace("{x}", QByteArray::number(pos.x())).replace("{y}", QByteArray::number(pos.y()));
        after.replace("{w}", QByteArray::number(size.width())).replace("{h}", QByteArray::number(size.height()));
        QCOMPARE(readFile(ini), after);
        QVERIFY(QFileInfo(form->LstDir + QStringLiteral("AutoSaveList.txt")).isFile());
        QVERIFY(form->Board->ColumnFrames1.isEmpty());
        for (const QPointer<TPingFrame> &f : made)
            QVERIFY2(!f, "a frame outlived the close");
        QVERIFY(form->ColumnPanel1->findChildren<TPingFrame *>().isEmpty());
        QVERIFY(world.errors.messages.isEmpty());
    }

    void laterActivations_doNoStartUpWork()
    {
        FreshHome home;
        auto form = makeMainForm();
        ProfileFile ini(form->IniFileName());
        ini.writeInteger(QStringLiteral("Section-Misc"), QStringLiteral("TimeToWait"), 5);
        ini.save();
        form->SetHostLines({ QStringLiteral("kept") });
        form->FormActivate();
        QCOMPARE(form->AppSettings.TimeToWait, 400);
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("kept") });
    }

    void storedGeometry_appliedOnlyWithItsSwitch_butAlwaysRewritten_data()
    {
        QTest::addColumn<bool>("save");
        QTest::newRow("switches off") << false;
        QTest::newRow("switches on") << true;
    }
    void storedGeometry_appliedOnlyWithItsSwitch_butAlwaysRewritten()
    {
        QFETCH(bool, save);
        FreshHome home;
        QDir().mkpath(home.dtaDir());
        {
            ProfileFile ini(home.dtaDir() + QStringLiteral("Skylark.INI"));
            ini.writeBool(QStringLiteral("Section-Window"), QStringLiteral("SaveFormSize"), save);
            ini.writeBool(QStringLiteral("Section-Window"), QStringLiteral("SaveFormPosition"), save);
            ini.writeInteger(QStringLiteral("Section-Window"), QStringLiteral("Height"), 400);
            ini.writeInteger(QStringLiteral("Section-Window"), QStringLiteral("Width"), 777);
            ini.save();
        }
        auto form = makeMainForm();
        // Stored and applied as the outer size, frame included.
        const QSize frame = form->frameGeometry().size() - form->size();
        QCOMPARE(form->frameGeometry().width() == 777, save);
        form->resize(QSize(640, 300) - frame);
        form->close();
        const ProfileFile ini(home.dtaDir() + QStringLiteral("Skylark.INI"));
        QCOMPARE(ini.readInteger(QStringLiteral("Section-Window"), QStringLiteral("Width"), 0), 640);
        QCOMPARE(ini.readInteger(QStringLiteral("Section-Window"), QStringLiteral("Height"), 0), 300);
    }

    // Values no screen can show, from a damaged or hostile file: the window takes no more
    // than the screens show, stays where it can be reached, and that is what is written back.
    void storedGeometry_hugeValues_keptOnTheScreens_data()
    {
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("size");
        QTest::newRow("largest") << 2147483647 << 2147483647 << 2147483647;
        QTest::newRow("least position") << (-2147483647 - 1) << (-2147483647 - 1) << 30000;
    }
    void storedGeometry_hugeValues_keptOnTheScreens()
    {
        QFETCH(int, top);
        QFETCH(int, left);
        QFETCH(int, size);
        FreshHome home;
        QDir().mkpath(home.dtaDir());
        {
            ProfileFile ini(home.dtaDir() + QStringLiteral("Skylark.INI"));
            ini.writeBool(QStringLiteral("Section-Window"), QStringLiteral("SaveFormSize"), true);
            ini.writeBool(QStringLiteral("Section-Window"), QStringLiteral("SaveFormPosition"), true);
            ini.writeInteger(QStringLiteral("Section-Window"), QStringLiteral("Top"), top);
            ini.writeInteger(QStringLiteral("Section-Window"), QStringLiteral("Left"), left);
            ini.writeInteger(QStringLiteral("Section-Window"), QStringLiteral("Height"), size);
            ini.writeInteger(QStringLiteral("Section-Window"), QStringLiteral("Width"), size);
            ini.save();
        }
        auto form = makeMainForm();
        const QRect screen = form->screen()->availableGeometry();
        const QRect outer = form->frameGeometry();
        QVERIFY(outer.width() <= screen.width() && outer.height() <= screen.height());
        QVERIFY(outer.top() >= screen.top() && outer.top() < screen.bottom());
        QVERIFY(screen.intersected(outer).width() >= 100);
        form->close();
        const ProfileFile ini(home.dtaDir() + QStringLiteral("Skylark.INI"));
        QCOMPARE(ini.readInteger(QStringLiteral("Section-Window"), QStringLiteral("Top"), 0), outer.top());
        QCOMPARE(ini.readInteger(QStringLiteral("Section-Window"), QStringLiteral("Left"), 0), outer.left());
        QCOMPARE(ini.readInteger(QStringLiteral("Section-Window"), QStringLiteral("Width"), 0), outer.width());
    }

    void corruptSettingsFile_givesDefaultsSilently()
    {
        FreshHome home;
        ErrorRecorder errors;
        QDir().mkpath(home.dtaDir());
        QFile f(home.dtaDir() + QStringLiteral("Skylark.INI"));
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray("[Section-Misc]\nTimeToWait=fast\n[Section-Settings\nCntDwnFrm\x00\xff\xfe=3", 56));
        f.close();
        auto form = makeMainForm();
        QCOMPARE(form->AppSettings.TimeToWait, 400);
        QCOMPARE(form->AppSettings.CntDwnFrm, 10);
        QCOMPARE(form->AppSettings.Style, QStringLiteral("Windows"));
        QCOMPARE(errors.messages, QStringList());
    }

    void menuTree_inOrder()
    {
        FreshHome home;
        auto form = makeMainForm();
        QCOMPARE(captions(form->MainMenu),
            QStringList({ QStringLiteral(">File"), QStringLiteral(">Ping"), QStringLiteral(">Misc"),
                QStringLiteral("Settings"), QStringLiteral("-"), QStringLiteral("Skylark-v0.1.0.0") }));
        QCOMPARE(captions(form->mmiFile),
            QStringList({ QStringLiteral("Select List File"), QStringLiteral("Load List File"),
                QStringLiteral("Save List File"), QStringLiteral("-"), QStringLiteral(">Directories"),
                QStringLiteral("-"), QStringLiteral("Exit") }));
        QCOMPARE(captions(form->mmiDirectories),
            QStringList({ QStringLiteral("Open DtaDir in Explorer"), QStringLiteral("Copy DtaDir Path To Clipboard"),
                QStringLiteral("-"), QStringLiteral("Open LstDir In Explorer"),
                QStringLiteral("Copy LstDir Path To Clipboard"), QStringLiteral("-"),
                QStringLiteral("Open SsnDir In Explorer"), QStringLiteral("Copy SsnDir Path To Clipboard"),
                QStringLiteral("-"), QStringLiteral("Open TmpDir in Explorer"),
                QStringLiteral("Copy TmpDir Path To Clipboard") }));
        QCOMPARE(captions(form->mmiPing),
            QStringList({ QStringLiteral("Add Frame"), QStringLiteral("Clear Frames"),
                QStringLiteral("Clear All Frames"), QStringLiteral("-"), QStringLiteral("Start All Pinging"),
                QStringLiteral("Stop All Pinging"), QStringLiteral("-"), QStringLiteral("Select Session File"),
                QStringLiteral("Save Frame Session"), QStringLiteral("Load Frame Session") }));
        QCOMPARE(captions(form->mmiMisc),
            QStringList({ QStringLiteral("Show Column 2"), QStringLiteral("Show Column 2 Resize"), QStringLiteral("-"),
                QStringLiteral(">Debug"), QStringLiteral("Outages...") }));
        QCOMPARE(captions(form->Debug1),
            QStringList({ QStringLiteral("InfoMemo"), QStringLiteral("Object Inspector"),
                QStringLiteral("Remove Orphan Frames"), QStringLiteral("Show Reload"), QStringLiteral("-"),
                QStringLiteral("Size Frames") }));
        // Everything that exists, hidden or not, is in its place.
        QCOMPARE(captions(form->MainMenu, false),
            QStringList({ QStringLiteral(">File"), QStringLiteral(">Ping"), QStringLiteral(">Screen Presets"),
                QStringLiteral(">Styles"), QStringLiteral(">Misc"), QStringLiteral("Reload"),
                QStringLiteral("Settings"), QStringLiteral("Help"), QStringLiteral("-"),
                QStringLiteral("Skylark-v0.1.0.0") }));
        QCOMPARE(captions(form->mmiPing, false).mid(2, 1), QStringList { QStringLiteral("Clear Frames Column 2") });
        QCOMPARE(names(form->HostListBoxPopupMenu),
            QStringList({ QStringLiteral("pmiPingSelected"), QStringLiteral("pmiPingSelectedWithExpand"),
                QStringLiteral("pmiClearFrames"), QStringLiteral("pmiPingSelected2"), QStringLiteral("pmiClearFrames2"),
                QStringLiteral("-"), QStringLiteral("pmiSelectListFile"), QStringLiteral("pmiLoadListFile"),
                QStringLiteral("pmiSaveListFile"), QStringLiteral("-"), QStringLiteral("pmiCopyToClipboard"),
                QStringLiteral("pmiDeleteSelectedHost"), QStringLiteral("pmiHLBEditMemo"),
                QStringLiteral("pmiAddToHostListboxFromClipboard"), QStringLiteral("pmiSelectAll"),
                QStringLiteral("pmiLowerCase"), QStringLiteral("pmiUpperCase") }));
        QCOMPARE(captions(form->HostListBoxPopupMenu, false),
            QStringList({ QStringLiteral("Ping Selected"), QStringLiteral("Ping Selected With Expand"),
                QStringLiteral("Clear Frames"), QStringLiteral("Ping Selected Column 2"),
                QStringLiteral("Clear Ping Frames Column 2"), QStringLiteral("-"), QStringLiteral("Select List File"),
                QStringLiteral("Load List File"), QStringLiteral("Save List File"), QStringLiteral("-"),
                QStringLiteral("Copy"), QStringLiteral("Delete"), QStringLiteral("Edit"), QStringLiteral("Paste"),
                QStringLiteral("Select All"), QStringLiteral("LowerCase"), QStringLiteral("UpperCase") }));
        // Column 2's items wait for column 2.
        QCOMPARE(captions(form->HostListBoxPopupMenu).mid(2, 2),
            QStringList({ QStringLiteral("Clear Frames"), QStringLiteral("-") }));

        // The version at the right end of the bar, drawn as one of its items, level with the titles.
        QCOMPARE(shown(form->mmiVersionAbout->text()), QStringLiteral("Skylark-v0.1.0.0"));
        QVERIFY(form->MainMenu->actions().contains(form->mmiVersionAbout));
        QVERIFY(!form->MainMenu->cornerWidget(Qt::TopRightCorner));
        const QRect about = form->MainMenu->actionGeometry(form->mmiVersionAbout);
        const QRect file = form->MainMenu->actionGeometry(form->mmiFile->menuAction());
        QVERIFY(about.right() >= form->MainMenu->width() - 8);
        QCOMPARE(about.top(), file.top());
        QCOMPARE(about.height(), file.height());
        // A change of the application's style reaches the bar, which keeps the About item in place.
        const QString appStyle = QApplication::style()->name();
        const QString otherStyle = appStyle.compare(QStringLiteral("Windows"), Qt::CaseInsensitive) == 0
            ? QStringLiteral("Fusion")
            : QStringLiteral("Windows");
        QApplication::setStyle(otherStyle);
        const auto *barStyle = qobject_cast<const QProxyStyle *>(form->MainMenu->style());
        QVERIFY(barStyle);
        QCOMPARE(barStyle->baseStyle()->name().toLower(), otherStyle.toLower());
        QVERIFY(form->MainMenu->actionGeometry(form->mmiVersionAbout).right() >= form->MainMenu->width() - 8);
        QApplication::setStyle(appStyle);

        const QStringList everything = allCaptions(form->MainMenu) + allCaptions(form->FramePM1)
            + allCaptions(form->FramePM2) + allCaptions(form->HostListBoxPopupMenu);
        for (const QString &never :
            { QStringLiteral("Add Form"), QStringLiteral("Clear Forms"), QStringLiteral("Show Column 3") })
            QVERIFY2(!everything.contains(never), qPrintable(never));
    }

    void actions_namesCategoriesAndCount()
    {
        FreshHome home;
        auto form = makeMainForm();
        const QList<QAction *> actions = form->Actions();
        QCOMPARE(actions.size(), 44);
        QMap<QString, int> perCategory;
        for (QAction *a : actions) {
            QVERIFY(a->objectName().startsWith(u'a'));
            perCategory[a->property("category").toString()]++;
        }
        QCOMPARE(perCategory.value(QStringLiteral("File")), 12);
        QCOMPARE(perCategory.value(QStringLiteral("Ping")), 11);
        QCOMPARE(perCategory.value(QStringLiteral("HostListbox")), 11);
        QCOMPARE(perCategory.value(QStringLiteral("Misc")), 9);
        QCOMPARE(perCategory.value(QString()), 1);
    }

    void showReload_addsReloadLeftOfSettings()
    {
        FreshHome home;
        auto form = makeMainForm();
        form->mmiShowReload->trigger();
        QCOMPARE(captions(form->MainMenu).mid(3),
            QStringList({ QStringLiteral("Reload"), QStringLiteral("Settings"), QStringLiteral("-"),
                QStringLiteral("Skylark-v0.1.0.0") }));
        QVERIFY(form->MainMenu->actionGeometry(form->mmiVersionAbout).right() >= form->MainMenu->width() - 8);
        form->mmiShowReload->trigger();
        QCOMPARE(captions(form->MainMenu).mid(3),
            QStringList({ QStringLiteral("Settings"), QStringLiteral("-"), QStringLiteral("Skylark-v0.1.0.0") }));
        QVERIFY(form->MainMenu->actionGeometry(form->mmiVersionAbout).right() >= form->MainMenu->width() - 8);
    }

    // Shift+F10 opens the popup of the control with the focus, as the Menu key does: the host
    // list's at its focused entry, a frame's from any of its controls, for that frame.
    void keyboard_shiftF10OpensTheHostListAndFramePopups()
    {
        FreshHome home;
        ScriptedWorld world;
        auto form = makeMainForm();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->SetHostLines({ QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2"), QStringLiteral("10.0.0.3") });
        form->HostListBox->item(0)->setSelected(true);
        form->HostListBox->item(1)->setSelected(true);
        form->aPingSelected->trigger();
        QCOMPARE(form->Board->ColumnFrames1.size(), 2);

        struct Opened
        {
            QPointer<QWidget> popup;
            QPointer<QWidget> component;
            QRect geometry;
        };
        // Presses the keys on `on` and records the popup that opens, then closes it.
        auto press = [](QWidget *on, Qt::Key key, Qt::KeyboardModifiers modifiers) -> Opened {
            Opened opened;
            QTimer::singleShot(50, [&opened] {
                if (auto *m = qobject_cast<TPopupMenu *>(QApplication::activePopupWidget())) {
                    opened.popup = m;
                    opened.component = m->PopupComponent;
                    opened.geometry = m->geometry();
                    m->close();
                }
            });
            on->setFocus();
            QTest::keyClick(on, key, modifiers); // a popup runs its own loop until closed
            return opened;
        };

        form->HostListBox->SetItemIndex(2);
        Opened o = press(form->HostListBox, Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(o.popup.data(), static_cast<QWidget *>(form->HostListBoxPopupMenu));
        QCOMPARE(o.component.data(), static_cast<QWidget *>(form->HostListBox));
        const QRect entry = form->HostListBox->visualItemRect(form->HostListBox->item(2));
        QCOMPARE(o.geometry.topLeft(), form->HostListBox->viewport()->mapToGlobal(entry.center()));

        TPingFrame *second = form->Board->ColumnFrames1[1];
        for (QWidget *control : std::initializer_list<QWidget *> { second->HostEdit, second->ContinuousPingSpdBtn }) {
            o = press(control, Qt::Key_F10, Qt::ShiftModifier);
            QVERIFY2(o.popup == form->FramePM1, qPrintable(control->objectName()));
            QCOMPARE(o.component.data(), static_cast<QWidget *>(second));
        }

        // F10 alone still opens the main menu, not a popup.
        o = press(form->HostListBox, Qt::Key_F10, Qt::NoModifier);
        QVERIFY(!o.popup);
        QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget *>(form->mmiFile));
        form->mmiFile->close();
    }

    void keyboard_accessKeysF10AndTheAboutItem()
    {
        FreshHome home;
        auto form = makeMainForm();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));

        // Every title and item has an access key of its own within its menu; none has a shortcut.
        QList<std::pair<QWidget *, QAction *>> items;
        for (QWidget *m : std::initializer_list<QWidget *> {
                 form->MainMenu, form->FramePM1, form->FramePM2, form->HostListBoxPopupMenu })
            collectItems(m, items);
        QHash<QWidget *, QHash<QKeySequence, QString>> taken;
        for (const auto &[menu, item] : items) {
            const QKeySequence key = QKeySequence::mnemonic(item->text());
            QVERIFY2(!key.isEmpty(), qPrintable(item->text()));
            QVERIFY2(!taken[menu].contains(key),
                qPrintable(item->text() + QStringLiteral(" and ") + taken[menu].value(key)));
            taken[menu].insert(key, item->text());
            QVERIFY2(item->shortcuts().isEmpty(), qPrintable(item->text()));
        }
        for (QAction *a : form->Actions())
            QVERIFY2(a->shortcuts().isEmpty(), qPrintable(a->objectName()));

        // Typing in the host edit: Alt+F opens the File menu instead of typing, Enter adds nothing.
        form->NewHostEdit->setFocus();
        QTest::keyClick(form->NewHostEdit, Qt::Key_F, Qt::AltModifier);
        QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget *>(form->mmiFile));
        QCOMPARE(form->NewHostEdit->text(), QString());
        form->mmiFile->close();
        QTRY_VERIFY(!QApplication::activePopupWidget());
        form->NewHostEdit->setText(QStringLiteral("10.0.0.1"));
        QTest::keyClick(form->NewHostEdit, Qt::Key_Return);
        QCOMPARE(form->HostLines(), QStringList());
        QCOMPARE(form->NewHostEdit->text(), QStringLiteral("10.0.0.1"));

        // F10 opens the first menu; Left from there reaches the About item, Enter runs it.
        QSignalSpy about(form->mmiVersionAbout, &QAction::triggered);
        QTest::keyClick(form->NewHostEdit, Qt::Key_F10);
        QTRY_COMPARE(QApplication::activePopupWidget(), static_cast<QWidget *>(form->mmiFile));
        QCOMPARE(form->MainMenu->activeAction(), form->mmiFile->menuAction());
        QTest::keyClick(form->mmiFile, Qt::Key_Left);
        QTRY_COMPARE(form->MainMenu->activeAction(), form->mmiVersionAbout);
        QVERIFY(!QApplication::activePopupWidget());
        answerModalSoon(QStringLiteral("OKBtn")); // the About box it opens
        QTest::keyClick(form->MainMenu, Qt::Key_Return);
        QCOMPARE(about.count(), 1);

        // Its own access key runs it too.
        form->activateWindow();
        QTRY_VERIFY(form->isActiveWindow());
        form->NewHostEdit->setFocus();
        const QKeyCombination aboutKey = QKeySequence::mnemonic(form->mmiVersionAbout->text())[0];
        answerModalSoon(QStringLiteral("OKBtn"));
        QTest::keyClick(form->NewHostEdit, aboutKey.key(), aboutKey.keyboardModifiers());
        QCOMPARE(about.count(), 2);
        QCOMPARE(form->NewHostEdit->text(), QStringLiteral("10.0.0.1"));
    }

    // F10 and then Right, or Left, goes through every top-level item of the bar in turn, the
    // menus, the plain items (Reload, Settings, Help) and the About item at the right end, and
    // comes round to the first again; the keys reach the bar wherever the focus was.
    void keyboard_f10ThenArrowsReachEveryItemOfTheBar_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Right") << int(Qt::Key_Right);
        QTest::newRow("Left") << int(Qt::Key_Left);
    }
    void keyboard_f10ThenArrowsReachEveryItemOfTheBar()
    {
        QFETCH(int, key);
        FreshHome home;
        auto form = makeMainForm();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->aHelp->setVisible(true);
        form->aReloadAutosaveSession->setVisible(true);
        form->mmiScreenPresets->menuAction()->setVisible(true);
        form->mmiStyles->menuAction()->setVisible(true);
        QList<QAction *> items;
        for (QAction *a : form->MainMenu->actions())
            if (a->isVisible() && !a->isSeparator())
                items << a;
        QCOMPARE(items.size(), 9);
        QCOMPARE(items.back(), form->mmiVersionAbout);
        // Keys go where the user's would: to an open menu, else to the widget with the focus.
        auto press = [](Qt::Key k) {
            QWidget *to
                = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : QApplication::focusWidget();
            QVERIFY(to);
            QTest::keyClick(to, k);
        };

        form->NewHostEdit->setFocus();
        QTest::keyClick(form->NewHostEdit, Qt::Key_F10);
        QTRY_COMPARE(form->MainMenu->activeAction(), items.front());
        QStringList visited { shown(items.front()->text()) };
        for (qsizetype i = 1; i <= items.size(); ++i) {
            press(Qt::Key(key));
            if (QTest::currentTestFailed())
                return;
            const QAction *at = form->MainMenu->activeAction();
            visited << (at ? shown(at->text()) : QStringLiteral("(none)"));
        }
        QStringList expected;
        for (qsizetype i = 0; i <= items.size(); ++i) {
            const qsizetype n = items.size();
            expected << shown(items[key == Qt::Key_Right ? i % n : (n - i) % n]->text());
        }
        QCOMPARE(visited, expected);
        // Escape leaves the bar; the edit that had the focus has it again.
        for (int i = 0; i < 2 && form->MainMenu->activeAction(); ++i)
            press(Qt::Key_Escape);
        QTRY_VERIFY(!form->MainMenu->activeAction());
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form->NewHostEdit));
    }

    void help_onlyWithHelpFileAtFirstActivation_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("help file beside the program") << QStringLiteral("Skylark.chm");
        QTest::newRow("manual beside the program") << QStringLiteral("manual.html");
        QTest::newRow("installed manual") << QStringLiteral("../share/skylark/manual.html");
    }
    void help_onlyWithHelpFileAtFirstActivation()
    {
        QFETCH(QString, file);
        const QString help = QCoreApplication::applicationDirPath() + u'/' + file;
        QStringList opened;
        TMainForm::SetOpenUrlHandler([&](const QString &p) {
            opened.append(p);
            return true;
        });
        {
            FreshHome home;
            auto form = makeMainForm();
            QVERIFY(!form->aHelp->isVisible());
            QDir().mkpath(QFileInfo(help).path());
            QFile(help).open(QIODevice::WriteOnly);
            form->FormActivate();
            QVERIFY(!form->aHelp->isVisible()); // not looked for again
        }
        {
            FreshHome home;
            auto form = makeMainForm();
            QFile::remove(help);
            QVERIFY(form->aHelp->isVisible());
            QVERIFY(captions(form->MainMenu).contains(QStringLiteral("Help")));
            form->mmiHelp->trigger();
            QCOMPARE(opened, QStringList { QFileInfo(help).absoluteFilePath() });
        }
        TMainForm::SetOpenUrlHandler({});
    }

    void directoryCommands_openAndCopyWithTrailingSlash()
    {
        FreshHome home;
        auto form = makeMainForm();
        QStringList opened;
        TMainForm::SetOpenUrlHandler([&](const QString &p) {
            opened.append(p);
            return true;
        });
        form->aOpenDtaDirInExplorer->trigger();
        form->aOpenTmpDirInExplorer->trigger();
        QCOMPARE(opened, QStringList({ form->DtaDir, form->TmpDir }));
        TMainForm::SetOpenUrlHandler({});
        const QList<std::pair<QAction *, QString>> copies { { form->aCopyDtaDirPathToClipboard, form->DtaDir },
            { form->aCopyLstDirPathToClipboard, form->LstDir }, { form->aCopySsnDirPathToClipboard, form->SsnDir },
            { form->aCopyTmpDirPathToClipboard, form->TmpDir } };
        for (const auto &[action, dir] : copies) {
            action->trigger();
            QCOMPARE(QApplication::clipboard()->text(), dir);
            QVERIFY(dir.endsWith(u'/'));
        }
    }

    // A desktop with no program for a path: Help, every Open command (menu and settings
    // dialog) and the chooser's right press say so with the path instead of doing nothing.
    void openCommands_sayWhenTheDesktopCannotOpen()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        QStringList asked;
        TMainForm::SetOpenUrlHandler([&](const QString &p) {
            asked.append(p);
            return false;
        });
        form->aOpenDtaDirInExplorer->trigger();
        form->aOpenLstDirInExplorer->trigger();
        form->aOpenSsnDirInExplorer->trigger();
        form->aOpenTmpDirInExplorer->trigger();
        form->findChild<QPushButton *>(QStringLiteral("LstDirOpenInExplorerBtn"))->click();
        form->HelpFileName = form->DtaDir + QStringLiteral("manual.html");
        form->aHelp->trigger();
        QFile(form->LstDir + QStringLiteral("hosts.txt")).open(QIODevice::WriteOnly);
        QTimer::singleShot(30, [&] {
            TSelectFileFrame *f = form->SelectFileDlg->SelectFileFrame;
            const auto items = f->FileListBox->findItems(QStringLiteral("hosts.txt"), Qt::MatchExactly);
            QVERIFY(!items.isEmpty());
            QTest::mousePress(f->FileListBox->viewport(), Qt::RightButton, {},
                f->FileListBox->visualItemRect(items.front()).center());
        });
        form->aSelectListFile->trigger();
        TMainForm::SetOpenUrlHandler({});
        const QStringList paths { form->DtaDir, form->LstDir, form->SsnDir, form->TmpDir, form->LstDir,
            form->DtaDir + QStringLiteral("manual.html"), form->LstDir + QStringLiteral("hosts.txt") };
        QCOMPARE(asked, paths);
        QStringList said;
        for (const QString &p : paths)
            said.append(QStringLiteral("Cannot open \"%1\": the desktop has no program set up to open it.").arg(p));
        QCOMPARE(world.errors.messages, said);
    }

    void exitAndCloseButton_runTheSameShutdown()
    {
        QByteArray written[2];
        for (int i = 0; i < 2; ++i) {
            FreshHome home;
            auto form = makeMainForm();
            form->SetHostLines({ QStringLiteral("a"), QStringLiteral("b") });
            if (i == 0)
                form->aExit->trigger();
            else
                form->close();
            QVERIFY(!form->isVisible());
            written[i] = readFile(form->IniFileName()) + readFile(form->LstDir + QStringLiteral("AutoSaveList.txt"));
        }
        QVERIFY(written[0].contains("a\r\nb\r\n"));
        QCOMPARE(written[0], written[1]);
    }

    void failedWriteAtClose_showsErrorKeepsWindowAndSecondCloseWorks()
    {
        FreshHome home;
        ErrorRecorder errors;
        // A file where the data folder should be: nothing can be created under it.
        QFile blocker(home.path() + QStringLiteral("/Documents"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        auto form = makeMainForm();
        QCOMPARE(errors.messages, QStringList());
        form->SetHostLines({ QStringLiteral("precious") });
        form->close();
        QVERIFY(form->isVisible());
        QTRY_COMPARE(errors.messages,
            QStringList { QStringLiteral("Unable to write to ") + form->LstDir + QStringLiteral("AutoSaveList.txt") });
        QFile::remove(home.path() + QStringLiteral("/Documents"));
        form->close();
        QVERIFY(!form->isVisible());
        QCOMPARE(readFile(form->LstDir + QStringLiteral("AutoSaveList.txt")), QByteArray("precious\r\n"));
        QVERIFY(QFileInfo::exists(form->IniFileName()));
    }

    // A settings file that cannot be written fails every close after the board is cleared. A
    // later close asks whether to close without that file (which keeps its contents) or to
    // stay open; a signal never asks. No close touches the autosaved session because of the
    // frames that the failed close itself cleared.
    void failingWriteAtEveryClose_laterCloseAsks_sessionKept_data()
    {
        QTest::addColumn<QString>("then");
        QTest::newRow("asked: stay open, then close without it") << QStringLiteral("ask");
        QTest::newRow("signal: not asked") << QStringLiteral("signal");
        QTest::newRow("signal while asked") << QStringLiteral("signal while asked");
    }
    void failingWriteAtEveryClose_laterCloseAsks_sessionKept()
    {
        QFETCH(QString, then);
        ScriptedWorld world;
        auto form = makeMainForm();
        form->Settings->set(&TAppSettings::AutoStartPinging, true);
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->AddHostFrame(QStringLiteral("10.0.0.1"), true);
        form->AddHostFrame(QStringLiteral("10.0.0.2"), false);
        form->SetHostLines({ QStringLiteral("listed") });
        // A folder where the settings file goes: the save cannot replace it.
        const QString ini = form->IniFileName();
        QFile::remove(ini);
        QVERIFY(QDir().mkpath(ini));
        const QString failure = QStringLiteral("Unable to write to ") + ini;

        form->close();
        QVERIFY(form->isVisible());
        QTRY_COMPARE(world.errors.messages, QStringList { failure });
        QVERIFY(form->Board->ColumnFrames1.isEmpty());
        const QString session = form->AutoSaveSessionName();
        const QByteArray saved = readFile(session);
        QVERIFY(saved.contains("HostEditText=10.0.0.2"));

        QStringList asked;
        auto answer = [&](const QString &button) {
            QTimer::singleShot(50, [&, button] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!box || box->objectName() != QStringLiteral("CloseWithoutFileQuestion"))
                    return;
                asked << box->text();
                if (button == QStringLiteral("signal"))
                    form->CloseUnattended();
                else
                    box->findChild<QPushButton *>(button)->click();
            });
        };
        if (then == QStringLiteral("ask")) {
            answer(QStringLiteral("StayOpenBtn"));
            form->close();
            QVERIFY(form->isVisible());
            QCOMPARE(asked.size(), 1);
            QVERIFY(asked.front().startsWith(failure + u'\n'));
            QCOMPARE(readFile(session), saved);
            answer(QStringLiteral("CloseWithoutFileBtn"));
            form->close();
            QCOMPARE(asked.size(), 2);
        } else if (then == QStringLiteral("signal")) {
            form->CloseUnattended();
            QCOMPARE(asked.size(), 0);
        } else {
            answer(QStringLiteral("signal"));
            form->close();
            QCOMPARE(asked.size(), 1);
        }
        QVERIFY(!form->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(readFile(session), saved);
        QVERIFY(QFileInfo(ini).isDir());
        QCOMPARE(readFile(form->LstDir + QStringLiteral("AutoSaveList.txt")), QByteArray("listed\r\n"));
        QCOMPARE(world.errors.messages, QStringList { failure }); // told once; later closes ask or log
    }

    // A close on a full disk must leave the host list and the settings file exactly as they
    // were, and say so; a close by signal there ends the program with both files intact.
    void fullDiskAtClose_keepsBothFilesAndSaysSo()
    {
        FreshHome home;
        ErrorRecorder errors;
        FullDisk disk(home.path() + QStringLiteral("/Documents"), 128);
        if (!disk.available()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("cannot mount a small file system (needs root)");
            QSKIP("mounting a small file system needs root");
        }
        QStringList hosts;
        for (int i = 0; i < 800; ++i)
            hosts << QStringLiteral("host-%1.example.net").arg(i);
        {
            auto form = makeMainForm();
            form->SetHostLines(hosts);
            form->close();
            QVERIFY(!form->isVisible());
        }
        const QString list = home.dtaDir() + QStringLiteral("LST/AutoSaveList.txt");
        const QString ini = home.dtaDir() + QStringLiteral("Skylark.INI");
        const QByteArray listBefore = readFile(list), iniBefore = readFile(ini);
        QVERIFY(listBefore.size() > 15000);

        auto form = makeMainForm();
        QCOMPARE(form->HostLines(), hosts);
        form->SetHostLines(hosts + hosts);
        form->move(form->x() + 7, form->y() + 5);
        disk.fill();
        form->close();
        QVERIFY(form->isVisible());
        QTRY_COMPARE(errors.messages, QStringList { QStringLiteral("Unable to write to ") + list });
        QCOMPARE(readFile(list), listBefore);
        QCOMPARE(readFile(ini), iniBefore);

        form->CloseUnattended();
        QVERIFY(!form->isVisible());
        QCOMPARE(readFile(list), listBefore);
        QCOMPARE(readFile(ini), iniBefore);
        QCOMPARE(errors.messages.size(), 1); // nobody to tell: logged, no box
    }

    // A termination signal with running frames: no pause for nobody to see, both files written.
    void sigtermWithRunningFrames_skipsThePauseAndWritesBothFiles()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        auto *app = static_cast<TApplication *>(QCoreApplication::instance());
        app->setMainWindow(form.get());
        QCOMPARE(form->AppSettings.PauseForRemoveFrame, true);
        for (int i = 0; i < 20; ++i)
            form->AddHostFrame(QStringLiteral("10.0.0.%1").arg(i + 1), true);
        // Every echo in flight, none will come back (beyond the 16th, a few ms apart).
        QTRY_COMPARE(world.echoes.count(), 20u);
        form->SetHostLines({ QStringLiteral("kept.example") });
        int pauses = 0;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (auto *d = QApplication::activeModalWidget(); d && d->objectName() == QStringLiteral("MsgDlgTm")) {
                ++pauses;
                d->close();
            }
        });
        watch.start(10);
        QElapsedTimer t;
        t.start();
        ::raise(SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), 20000);
        qInfo("closed by SIGTERM with 20 running frames in %lld ms", t.elapsed());
        QCOMPARE(pauses, 0);
        QVERIFY(form->Board->ColumnFrames1.isEmpty());
        QCOMPARE(readFile(form->LstDir + QStringLiteral("AutoSaveList.txt")), QByteArray("kept.example\r\n"));
        QVERIFY(QFileInfo::exists(form->IniFileName()));
        app->setMainWindow(nullptr);
    }

    // No frame running: the shutdown has nothing to wait for, whatever TimeToWait says.
    void closeWithoutRunningFrames_doesNotSleep()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        form->AddHostFrame(QStringLiteral("10.0.0.1"), false);
        form->Settings->set(&TAppSettings::TimeToWait, 60000);
        QElapsedTimer t;
        t.start();
        form->close();
        QVERIFY(!form->isVisible());
        QVERIFY2(t.elapsed() < 30000, "the shutdown slept TimeToWait with no frame running");
    }

    // A second close by signal while the error box of a failed close is open must run the
    // whole sequence again: here the folder is writable by then, so nothing may be skipped.
    void signalWhileErrorBoxOpen_completesTheShutdown_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("writes can succeed now: both files written") << true;
        QTest::newRow("still failing: files left as they were, program ends") << false;
    }
    void signalWhileErrorBoxOpen_completesTheShutdown()
    {
        QFETCH(bool, writable);
        FreshHome home;
        QFile blocker(home.path() + QStringLiteral("/Documents"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        auto form = makeMainForm();
        auto *app = static_cast<TApplication *>(QCoreApplication::instance());
        app->setMainWindow(form.get());
        form->SetHostLines({ QStringLiteral("precious") });
        bool boxSeen = false;
        QTimer::singleShot(0, [&] {
            form->close(); // fails: the box comes up next
            QTimer::singleShot(100, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                boxSeen = box && box->text().startsWith(QStringLiteral("Unable to write to "));
                if (writable)
                    QFile::remove(home.path() + QStringLiteral("/Documents"));
                ::raise(SIGTERM);
            });
        });
        QTRY_VERIFY_WITH_TIMEOUT(boxSeen, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), 10000);
        QVERIFY(!QApplication::activeModalWidget());
        if (writable) {
            QCOMPARE(readFile(home.dtaDir() + QStringLiteral("LST/AutoSaveList.txt")), QByteArray("precious\r\n"));
            QVERIFY(QFileInfo::exists(home.dtaDir() + QStringLiteral("Skylark.INI")));
        } else {
            QVERIFY(QFileInfo(home.path() + QStringLiteral("/Documents")).isFile());
        }
        app->setMainWindow(nullptr);
    }

    void raisedError_showsOneCriticalBoxAndProgramGoesOn()
    {
        FreshHome home;
        auto form = makeMainForm();
        form->AddPingFrame();
        TPingFrame *frame = form->Board->ColumnFrames1.front();
        frame->HostEdit->setText(QString());
        QString shown;
        QTimer::singleShot(50, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                shown = box->text();
                QCOMPARE(box->icon(), QMessageBox::Critical);
                box->accept();
            }
        });
        QTest::mouseClick(frame->ContinuousPingSpdBtn, Qt::LeftButton);
        QCOMPARE(shown, QStringLiteral("DNS lookup: invalid host name."));
        QVERIFY(form->isVisible());
        QCOMPARE(frame->IPAddressLbl->text(), QStringLiteral("DNS Error!"));
    }

    // --help and --version need no display; a bad option is an error with exit code 2.
    void commandLine_helpVersionAndErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("version") << QStringList { QStringLiteral("--version") } << 0
                                 << QStringLiteral("Skylark-v0.1.0.0\n") << QString();
        QTest::newRow("help") << QStringList { QStringLiteral("--help") } << 0 << QStringLiteral("[host...]")
                              << QString();
        QTest::newRow("unknown option") << QStringList { QStringLiteral("--bogus") } << 2 << QString()
                                        << QStringLiteral("skylark: Unknown option 'bogus'.");
        QTest::newRow("option after hosts") << QStringList { QStringLiteral("a.example"), QStringLiteral("-x") } << 2
                                            << QString() << QStringLiteral("Unknown option 'x'");
    }
    void commandLine_helpVersionAndErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        FreshHome home;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM")); // no display at all
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SKYLARK_EXE), args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), exitCode);
        const QString stdOut = QString::fromLocal8Bit(p.readAllStandardOutput());
        const QString stdErr = QString::fromLocal8Bit(p.readAllStandardError());
        if (out.isEmpty())
            QCOMPARE(stdOut, QString());
        else
            QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
        if (!err.isEmpty())
            QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
        QVERIFY(!QFileInfo::exists(home.dtaDir())); // answered before the program started
    }

    // Hosts on the command line become running frames after the session restore (which
    // clears the board), and the host list does not grow.
    void commandLine_hostsBecomeRunningFrames()
    {
        FreshHome home;
        QDir().mkpath(home.dtaDir() + QStringLiteral("Sessions"));
        {
            ProfileFile ini(home.dtaDir() + QStringLiteral("Skylark.INI"));
            ini.writeBool(QStringLiteral("Section-Settings"), QStringLiteral("AutoStartPinging"), true);
            ini.save();
            ProfileFile session(home.dtaDir() + QStringLiteral("Sessions/Session_AutoSave.txt"));
            // 127.0.0.1 is there from an earlier run with the same command line.
            session.writeInteger(QStringLiteral("Frame"), QStringLiteral("Count"), 2);
            session.writeString(QStringLiteral("Frame_0"), QStringLiteral("HostEditText"), QStringLiteral("127.0.0.9"));
            session.writeString(QStringLiteral("Frame_1"), QStringLiteral("HostEditText"), QStringLiteral("127.0.0.1"));
            session.save();
        }
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SKYLARK_EXE), { QStringLiteral("127.0.0.1"), QStringLiteral(" 127.0.0.2 ") });
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(home.dtaDir() + QStringLiteral("LST")).isDir(), 5000);
        QTest::qWait(500);
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const SessionFile::Board board
            = SessionFile::read(ProfileFile(home.dtaDir() + QStringLiteral("Sessions/Session_AutoSave.txt")));
        QStringList frames;
        for (const SessionFile::Frame &f : board.column1)
            frames << f.host + (f.running ? QStringLiteral(" running") : QStringLiteral(" stopped"));
        QCOMPARE(frames,
            QStringList({ QStringLiteral("127.0.0.9 stopped"), QStringLiteral("127.0.0.1 running"),
                QStringLiteral("127.0.0.2 running") }));
        QCOMPARE(readFile(home.dtaDir() + QStringLiteral("LST/AutoSaveList.txt")), QByteArray());
    }

    // A command-line host already on the board, in either column, is not added again; the
    // first of its frames is started when none of them runs.
    void commandLineHosts_onTheBoardStartedNotAddedAgain()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        form->mmiShow2->setChecked(true);
        form->ShowColumn2();
        form->AddHostFrame(QStringLiteral("10.0.0.1"), false);
        form->AddHostFrame(QStringLiteral("10.0.0.1"), false);
        form->AddHostFrame2(QStringLiteral("10.0.0.2"), true);
        form->AddHostFrame2(QStringLiteral("10.0.0.3"), false);
        form->AddStartHosts({ QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2"), QStringLiteral("10.0.0.3"),
            QStringLiteral("10.0.0.4"), QStringLiteral("10.0.0.4") });
        auto describe = [](const QList<TPingFrame *> &frames) {
            QStringList out;
            for (const TPingFrame *f : frames)
                out << f->HostEdit->text() + (f->Running() ? QStringLiteral(" running") : QStringLiteral(" stopped"));
            return out;
        };
        QCOMPARE(describe(form->Board->ColumnFrames1),
            QStringList({ QStringLiteral("10.0.0.1 running"), QStringLiteral("10.0.0.1 stopped"),
                QStringLiteral("10.0.0.4 running") }));
        QCOMPARE(describe(form->Board->ColumnFrames2),
            QStringList({ QStringLiteral("10.0.0.2 running"), QStringLiteral("10.0.0.3 running") }));
    }

    // No ICMP socket at all: the frames go on with red points, and the user is told why
    // once for the run, in a box that stops nothing; ordinary timeouts say nothing.
    void noIcmpSocket_explainedOnceWithTheFix()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        for (int i = 0; i < 3; ++i)
            form->AddHostFrame(QStringLiteral("10.0.0.%1").arg(i + 1), true);
        world.echoes.timeout();
        QCoreApplication::processEvents();
        QVERIFY(!form->findChild<QMessageBox *>(QStringLiteral("IcmpPermissionNotice")));
        for (int round = 0; round < 2; ++round) {
            while (world.echoes.count() > 0)
                world.echoes.noSocket();
            QCoreApplication::processEvents();
            QTest::qWait(1100); // the frames ping again
        }
        const QList<QMessageBox *> notices = form->findChildren<QMessageBox *>(QStringLiteral("IcmpPermissionNotice"));
        QCOMPARE(notices.size(), 1);
        QMessageBox *notice = notices.front();
        QVERIFY(notice->isVisible());
        QVERIFY(!notice->isModal());
        QVERIFY(notice->text().contains(QStringLiteral("ping_group_range")));
        QVERIFY(notice->text().contains(QStringLiteral("setcap cap_net_raw+ep")));
        QVERIFY(form->Board->ColumnFrames1.front()->Running());
        notice->findChild<QPushButton *>(QStringLiteral("CopyCommandButton"))->click();
        QCOMPARE(QApplication::clipboard()->text(),
            QStringLiteral("sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\""));
        QVERIFY(notice->isVisible()); // copying leaves it open
    }

    // A close before the first activation (a signal that early) has read almost nothing: it
    // must not write the half-read settings or an empty host list over the stored files.
    void closeBeforeFirstActivation_writesNothing()
    {
        ScriptedWorld world;
        QDir().mkpath(world.home.dtaDir() + QStringLiteral("LST"));
        const QString ini = world.home.dtaDir() + QStringLiteral("Skylark.INI");
        const QString list = world.home.dtaDir() + QStringLiteral("LST/AutoSaveList.txt");
        const QByteArray iniBefore = "[MainFormSettingsListBox]\n0=T:1 | L:2 | H:300 | W:400\n";
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(iniBefore);
        f.close();
        QFile l(list);
        QVERIFY(l.open(QIODevice::WriteOnly));
        l.write("kept\r\n");
        l.close();
        const QString stray = QDir::currentPath() + QStringLiteral("/AutoSaveList.txt");
        const bool strayBefore = QFileInfo::exists(stray);
        {
            TMainForm form;
            QVERIFY(!form.FormActivated);
            form.close();
        }
        QCOMPARE(readFile(ini), iniBefore);
        QCOMPARE(readFile(list), QByteArray("kept\r\n"));
        QCOMPARE(QFileInfo::exists(stray), strayBefore);
        QCOMPARE(world.errors.messages, QStringList());
    }

    // A signal while a start-up message is open (here: the autosaved list cannot be read)
    // closes the program before the session is restored: nothing is written over the stored
    // files, and the autosaved session above all is not deleted for an empty board.
    void signalDuringStartUpMessage_writesNothing()
    {
        ScriptedWorld world;
        const QString dta = world.home.dtaDir();
        QDir().mkpath(dta + QStringLiteral("LST/AutoSaveList.txt")); // a folder: cannot be read
        QDir().mkpath(dta + QStringLiteral("Sessions"));
        const QByteArray ini = "[Section-Settings]\nAutoStartPinging=1\n";
        const QByteArray session = "[Frame]\nCount=1\n[Frame_0]\nHostEditText=precious\n";
        for (const auto &[name, bytes] : { std::pair { QStringLiteral("Skylark.INI"), ini },
                 std::pair { QStringLiteral("Sessions/Session_AutoSave.txt"), session } }) {
            QFile f(dta + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        TMainForm form;
        QStringList told;
        ErrorDisplay::setSink([&](const QString &m) {
            told << m;
            form.CloseUnattended(); // the signal comes while the message is shown
        });
        form.show();
        QTRY_VERIFY(form.FormActivated);
        QTRY_VERIFY(!form.isVisible());
        ErrorDisplay::setSink([&](const QString &m) { world.errors.messages << m; });
        QCOMPARE(told.size(), 1);
        QVERIFY(told.front().startsWith(QStringLiteral("Cannot open file")));
        QCOMPARE(readFile(dta + QStringLiteral("Skylark.INI")), ini);
        QCOMPARE(readFile(dta + QStringLiteral("Sessions/Session_AutoSave.txt")), session);
    }

    // More screen presets than are read: said once, naming the file and the count, and the
    // start-up goes on.
    void tooManyPresets_saidOnce()
    {
        ScriptedWorld world;
        QDir().mkpath(world.home.dtaDir());
        QByteArray text = "[MainFormSettingsListBox]\n";
        for (int i = 0; i < 1001; ++i)
            text += QByteArray::number(i) + "=T:1 | L:2 | H:300 | W:400\n";
        QFile f(world.home.dtaDir() + QStringLiteral("Skylark.INI"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        auto form = makeMainForm();
        QTRY_COMPARE(world.errors.messages.size(), 1);
        QVERIFY(world.errors.messages.front().contains(u'"' + form->IniFileName() + u'"'));
        QVERIFY(world.errors.messages.front().contains(QStringLiteral("1001 screen presets")));
        QVERIFY(QFileInfo(form->SsnDir).isDir());
    }

    // The box about a stored style that is not there comes up once the event loop runs, not
    // inside the window's construction, so a termination signal while it is open still closes
    // the program through the shutdown sequence.
    void unknownStyleBox_shownFromTheEventLoop_signalStillCloses()
    {
        auto storeStyle = [](const FreshHome &home) {
            QDir().mkpath(home.dtaDir());
            ProfileFile ini(home.dtaDir() + QStringLiteral("Skylark.INI"));
            ini.writeString(QStringLiteral("Section-Options"), QStringLiteral("Style"), QStringLiteral("Motif"));
            ini.save();
        };
        {
            ScriptedWorld world;
            storeStyle(world.home);
            TMainForm form;
            QCOMPARE(world.errors.messages, QStringList());
            QTRY_COMPARE(world.errors.messages, QStringList { QStringLiteral("Style 'Motif' not found") });
        }
        FreshHome home;
        storeStyle(home);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SKYLARK_EXE), {});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(home.dtaDir() + QStringLiteral("LST")).isDir(), 5000);
        QTest::qWait(300);
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const ProfileFile ini(home.dtaDir() + QStringLiteral("Skylark.INI"));
        QCOMPARE(ini.readString(QStringLiteral("Section-Options"), QStringLiteral("Style"), QString()),
            QStringLiteral("Motif"));
        QVERIFY(QFileInfo::exists(home.dtaDir() + QStringLiteral("LST/AutoSaveList.txt")));
    }

    void sigterm_runsTheShutdownSequence()
    {
        FreshHome home;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SKYLARK_EXE), {});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(home.dtaDir() + QStringLiteral("LST")).isDir(), 5000);
        QTest::qWait(300);
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QFileInfo::exists(home.dtaDir() + QStringLiteral("Skylark.INI")));
        QVERIFY(QFileInfo::exists(home.dtaDir() + QStringLiteral("LST/AutoSaveList.txt")));
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestMainForm tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_mainform.moc"
