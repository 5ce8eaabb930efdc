// The settings dialog as a user meets it: its check boxes, geometry edits, presets, styles
// and directory buttons, and what shutdown then writes.
#include "balloonhint.h"
#include "mainform.h"
#include "profilefile.h"
#include "scripted.h"
#include "scrposframe.h"
#include "frameboard.h"
#include "hostprobe.h"
#include "pingframe.h"
#include "settingsform.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QSpinBox>
#include <QTest>

namespace {
void writeIni(const FreshHome &home, const QByteArray &text)
{
    QDir().mkpath(home.dtaDir());
    QFile f(home.dtaDir() + QStringLiteral("Skylark.INI"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

template <typename T> T *find(QWidget *root, const char *name)
{
    T *w = root->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no %s", name);
    return w;
}

QStringList hints(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        out << a->statusTip();
    return out;
}

QStringList presetTexts(TSettingsForm *dlg)
{
    QStringList out;
    for (int i = 0; i < dlg->MainFormSettingsListBox->count(); ++i)
        out << dlg->MainFormSettingsListBox->item(i)->text();
    return out;
}

// The About item is the last of the bar, alone after a separator.
bool aboutAtTheRight(TMainForm *form)
{
    const QList<QAction *> items = form->MainMenu->actions();
    return items.size() >= 2 && items.last() == form->mmiVersionAbout && items[items.size() - 2]->isSeparator();
}

// Types the text over the edit's and, unless told not to, finishes with Enter.
void typeInto(TIntSpinEdit *edit, const QString &text, bool finish = true)
{
    auto *line = edit->findChild<QLineEdit *>();
    edit->setFocus();
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Backspace);
    if (!text.isEmpty())
        QTest::keyClicks(line, text);
    if (finish)
        QTest::keyClick(line, Qt::Key_Return);
}

// A click on the box's indicator (a check box takes clicks only on its indicator and text).
void clickBox(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

void checkItem(QListWidgetItem *item, bool on)
{
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}
} // namespace

class TestSettingsForm : public QObject
{
    Q_OBJECT
private slots:
    void init() { QApplication::clipboard()->clear(); }

    void settingsCommand_showsModelessDialogOnStoredPage_closeOnlyHides()
    {
        ScriptedWorld world;
        writeIni(world.home, "[Section-Settings]\nCurrentPage=3\n");
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        QVERIFY(dlg);
        QVERIFY(!dlg->isVisible());
        form->aSettings->trigger();
        QVERIFY(dlg->isVisible());
        QVERIFY(!dlg->isModal());
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(dlg->JvPageList->currentWidget(), dlg->JvStandardPageMisc);
        QVERIFY(!dlg->StylesBtn->isVisibleTo(dlg));
        const QList<std::pair<QPushButton *, QWidget *>> buttons = { { dlg->DirBtn, dlg->JvStandardPageDirectories },
            { dlg->FormBtn, dlg->JvStandardPageForm }, { dlg->MiscBtn, dlg->JvStandardPageMisc } };
        for (auto [button, page] : buttons) {
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(dlg->JvPageList->currentWidget(), page);
            QVERIFY(page->isVisible());
        }
        QTest::mouseClick(dlg->FormBtn, Qt::LeftButton);
        dlg->close();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(form->SettingsForm.data(), dlg);
        form->close();
        const ProfileFile ini(world.home.dtaDir() + QStringLiteral("Skylark.INI"));
        QCOMPARE(ini.readInteger(QStringLiteral("Section-Settings"), QStringLiteral("CurrentPage"), 99), 1);
        QVERIFY(world.errors.messages.isEmpty());
    }

    void storedPageOutOfRange_showsNoPageUntilAButtonIsPressed()
    {
        ScriptedWorld world;
        writeIni(world.home, "[Section-Settings]\nCurrentPage=4\n");
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        form->aSettings->trigger();
        QVERIFY(!dlg->JvPageList->isVisible());
        QCOMPARE(dlg->CurrentPage(), -1);
        QTest::mouseClick(dlg->DirBtn, Qt::LeftButton);
        QVERIFY(dlg->JvStandardPageDirectories->isVisible());
        QCOMPARE(dlg->CurrentPage(), 2);
    }

    void conversions_excludeEachOther_bothWays()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        form->aSettings->trigger();
        QTest::mouseClick(dlg->MiscBtn, Qt::LeftButton);
        QCheckBox *lc = dlg->ConvertToLCCheckBox, *uc = dlg->ConvertToUCCheckBox;
        clickBox(lc);
        QVERIFY(lc->isChecked() && form->AppSettings.ConvertToLC && !form->AppSettings.ConvertToUC);
        clickBox(uc);
        QVERIFY(uc->isChecked() && !lc->isChecked());
        QVERIFY(form->AppSettings.ConvertToUC && !form->AppSettings.ConvertToLC);
        clickBox(lc);
        QVERIFY(lc->isChecked() && !uc->isChecked());
        QVERIFY(form->AppSettings.ConvertToLC && !form->AppSettings.ConvertToUC);
        clickBox(lc);
        QVERIFY(!lc->isChecked() && !uc->isChecked());
        QVERIFY(!form->AppSettings.ConvertToLC && !form->AppSettings.ConvertToUC);
    }

    void bothConversionsInFile_firstShowingLeavesOnlyLowerCase()
    {
        ScriptedWorld world;
        writeIni(world.home, "[Section-Settings]\nConvertToLC=1\nConvertToUC=1\n");
        auto form = makeMainForm();
        QVERIFY(form->AppSettings.ConvertToLC && form->AppSettings.ConvertToUC);
        form->aSettings->trigger();
        QVERIFY(form->SettingsForm->ConvertToLCCheckBox->isChecked());
        QVERIFY(!form->SettingsForm->ConvertToUCCheckBox->isChecked());
        QVERIFY(form->AppSettings.ConvertToLC && !form->AppSettings.ConvertToUC);
    }

    void reopening_showsTheSettingsAsTheyAre()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        form->aSettings->trigger();
        QVERIFY(dlg->PauseForRemoveFrameCheckBox->isChecked());
        QVERIFY(!dlg->AutoStartPingingCheckBox->isChecked());
        dlg->close();
        form->Settings->set(&TAppSettings::AutoStartPinging, true);
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->Settings->set(&TAppSettings::SaveFormSize, true);
        form->aSettings->trigger();
        QVERIFY(dlg->AutoStartPingingCheckBox->isChecked());
        QVERIFY(!dlg->PauseForRemoveFrameCheckBox->isChecked());
        QVERIFY(dlg->SavFrmSizChkBox->isChecked());
    }

    // The health box shows the settings as they are, and its edits reach the settings, the
    // probes of the frames and what shutdown writes.
    void healthBox_showsAndChangesTheSettings()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        form->AddHostFrame(QStringLiteral("10.0.0.1"), false);
        form->AddHostFrame(QStringLiteral("10.0.0.2 slow=20ms"), false);
        form->Settings->set(&TAppSettings::Damping, 5);
        TSettingsForm *dlg = form->SettingsForm;
        form->aSettings->trigger();
        dlg->MiscBtn->click();
        QVERIFY(dlg->SlowSpinBox->isVisible());
        QCOMPARE(dlg->SlowSpinBox->value(), 250);
        QCOMPARE(dlg->LossSpinBox->value(), 10);
        QCOMPARE(dlg->DampingSpinBox->value(), 5);
        dlg->SlowSpinBox->setValue(80);
        dlg->LossSpinBox->setValue(3);
        dlg->DampingSpinBox->setValue(2);
        dlg->ChangeHookEdit->setText(QStringLiteral("/bin/true now"));
        emit dlg->ChangeHookEdit->editingFinished();
        HostProbe *plain = form->Board->ColumnFrames1.at(0)->Probe();
        HostProbe *own = form->Board->ColumnFrames1.at(1)->Probe();
        QCOMPARE(plain->thresholds(), (HostState::Thresholds { 80, 3 }));
        QCOMPARE(own->thresholds(), (HostState::Thresholds { 20, 3 }));
        QCOMPARE(plain->damping(), 2);
        form->close();
        const ProfileFile ini(world.home.dtaDir() + QStringLiteral("Skylark.INI"));
        const QString settings = QStringLiteral("Section-Settings");
        QCOMPARE(ini.readInteger(settings, QStringLiteral("SlowMs"), 0), 80);
        QCOMPARE(ini.readInteger(settings, QStringLiteral("LossPercent"), 0), 3);
        QCOMPARE(ini.readInteger(settings, QStringLiteral("Damping"), 0), 2);
        QCOMPARE(ini.readString(settings, QStringLiteral("ChangeHook"), QString()), QStringLiteral("/bin/true now"));
    }

    void eachCheckBox_changesWhatShutdownWrites_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        const QString w = QStringLiteral("Section-Window"), s = QStringLiteral("Section-Settings"),
                      o = QStringLiteral("Section-Options");
        QTest::newRow("save form size") << "SavFrmSizChkBox"
                                        << "FormBtn" << w << "SaveFormSize";
        QTest::newRow("save form position") << "SavFrmPosChkBox"
                                            << "FormBtn" << w << "SaveFormPosition";
        QTest::newRow("autostart") << "AutoStartPingingCheckBox"
                                   << "MiscBtn" << s << "AutoStartPinging";
        QTest::newRow("timeout panel") << "StartTimeoutPnlVisibleCheckBox"
                                       << "MiscBtn" << s << "StartTimeoutPnlVisible";
        QTest::newRow("lower case") << "ConvertToLCCheckBox"
                                    << "MiscBtn" << s << "ConvertToLC";
        QTest::newRow("upper case") << "ConvertToUCCheckBox"
                                    << "MiscBtn" << s << "ConvertToUC";
        QTest::newRow("pause") << "PauseForRemoveFrameCheckBox"
                               << "MiscBtn" << s << "PauseForRemoveFrame";
        QTest::newRow("notify down and up") << "NotifyHostDownUpCheckBox"
                                            << "MiscBtn" << s << "NotifyHostDownUp";
        QTest::newRow("log results") << "LogResultsCheckBox"
                                     << "MiscBtn" << s << "LogResults";
        QTest::newRow("styles on main menu") << "StylesMMCheckBox"
                                             << "StylesBtn" << o << "StylesMM";
        QTest::newRow("styles on settings") << "EnableStylesSettingsCheckBox"
                                            << "StylesBtn" << o << "StylesEnabled";
    }
    void eachCheckBox_changesWhatShutdownWrites()
    {
        QFETCH(QString, box);
        QFETCH(QString, button);
        QFETCH(QString, section);
        QFETCH(QString, key);
        ScriptedWorld world;
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        form->aSettings->trigger();
        dlg->findChild<QPushButton *>(button)->click(); // the Styles button is hidden: clicked by the program
        auto *check = dlg->findChild<QCheckBox *>(box);
        QVERIFY(check && check->isVisible());
        const bool before = check->isChecked();
        clickBox(check);
        QCOMPARE(check->isChecked(), !before);
        form->close();
        const ProfileFile ini(world.home.dtaDir() + QStringLiteral("Skylark.INI"));
        QCOMPARE(ini.readBool(section, key, before), !before);
    }

    void geometryEdits_moveTheWindow_andFollowItsMoves()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        form->aSettings->trigger();
        QTest::mouseClick(dlg->FormBtn, Qt::LeftButton);
        dlg->FormActivate();
        TScrPosFrame *f = dlg->ScrPosFrame;
        QCOMPARE(f->SpinEditTop->Value(), form->y());
        // The edits hold the outer geometry, frame included.
        QCOMPARE(f->SpinEditWidth->Value(), form->frameGeometry().width());
        QCOMPARE(f->SpinEditHeight->Value(), form->frameGeometry().height());

        typeInto(f->SpinEditTop, QStringLiteral("100"));
        QCOMPARE(form->y(), 100);
        // A step of the spin buttons or the arrow keys applies at once.
        QTest::keyClick(f->SpinEditTop, Qt::Key_Up);
        QCOMPARE(form->y(), 101);
        QCOMPARE(f->SpinEditTop->Value(), 101);
        typeInto(f->SpinEditLeft, QStringLiteral("-40"));
        QCOMPARE(form->x(), -40);
        QCOMPARE(f->SpinEditLeft->text(), QStringLiteral("-40"));
        typeInto(f->SpinEditWidth, QStringLiteral("650"));
        typeInto(f->SpinEditHeight, QStringLiteral("333"));
        QCOMPARE(form->frameGeometry().size(), QSize(650, 333));

        // Sizes beyond what the screens show, and places off them, are limited.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        typeInto(f->SpinEditHeight, QStringLiteral("20000"));
        typeInto(f->SpinEditWidth, QStringLiteral("20000"));
        QCOMPARE(form->frameGeometry().size(), screen.size());
        // The edits then show what the window was given.
        QCOMPARE(f->SpinEditHeight->Value(), screen.height());
        QCOMPARE(f->SpinEditWidth->Value(), screen.width());
        typeInto(f->SpinEditWidth, QStringLiteral("650"));
        typeInto(f->SpinEditHeight, QStringLiteral("333"));
        typeInto(f->SpinEditTop, QStringLiteral("-2147483648"));
        typeInto(f->SpinEditLeft, QStringLiteral("2147483647"));
        QVERIFY2(screen.intersects(form->frameGeometry()), qPrintable(QString::number(form->x())));
        QCOMPARE(form->y(), screen.top());
        typeInto(f->SpinEditTop, QStringLiteral("100"));
        typeInto(f->SpinEditLeft, QStringLiteral("-40"));

        form->move(55, 66);
        QCOMPARE(f->SpinEditTop->Value(), 66);
        QCOMPARE(f->SpinEditLeft->Value(), 55);
        QCOMPARE(form->pos(), QPoint(55, 66)); // the edits' change did not move it anywhere else

        // Emptied edits read 0: a position goes to 0, a size to the least the window takes.
        typeInto(f->SpinEditTop, QString());
        QCOMPARE(form->y(), 0);
        QCOMPARE(f->SpinEditTop->text(), QStringLiteral("0"));
        typeInto(f->SpinEditHeight, QString());
        QVERIFY(form->height() > 0);
        QCOMPARE(form->height(), std::max({ 1, form->minimumHeight(), form->minimumSizeHint().height() }));
        typeInto(f->SpinEditWidth, QStringLiteral("-"));
        QVERIFY(form->width() > 0);
        QCOMPARE(form->width(), std::max({ 1, form->minimumWidth(), form->minimumSizeHint().width() }));
    }

    // A typed value is applied when it is finished (Enter, or the focus leaving), not at each
    // keystroke; then the edit shows what the window was given, and the two agree.
    void geometryEdits_applyWhenFinished_data()
    {
        QTest::addColumn<QByteArray>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byEnter");
        QTest::newRow("Height beyond the screens, Enter") << QByteArray("SpinEditHeight") << "20000" << true;
        QTest::newRow("Width beyond the screens, focus leaves") << QByteArray("SpinEditWidth") << "20000" << false;
        QTest::newRow("Height too small, Enter") << QByteArray("SpinEditHeight") << "2" << true;
        QTest::newRow("Top far off, focus leaves") << QByteArray("SpinEditTop") << "-30000" << false;
        QTest::newRow("Left far off, Enter") << QByteArray("SpinEditLeft") << "99999" << true;
    }
    void geometryEdits_applyWhenFinished()
    {
        QFETCH(QByteArray, edit);
        QFETCH(QString, typed);
        QFETCH(bool, byEnter);
        ScriptedWorld world;
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        form->aSettings->trigger();
        QTest::mouseClick(dlg->FormBtn, Qt::LeftButton);
        dlg->FormActivate();
        TScrPosFrame *f = dlg->ScrPosFrame;
        auto *e = find<TIntSpinEdit>(f, edit.constData());
        form->SetOuterGeometry({ 100, 100, 300, 400 });
        const QRect before = form->frameGeometry();
        const QString shownBefore = e->text();

        typeInto(e, typed, false);
        QCOMPARE(form->frameGeometry(), before); // nothing applied while typing
        QCOMPARE(e->text(), typed);
        if (byEnter) {
            QTest::keyClick(e->findChild<QLineEdit *>(), Qt::Key_Return);
        } else {
            // The focus leaving, as the edit sees it (offscreen windows take turns at being active).
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(e, &out);
        }
        QVERIFY(form->frameGeometry() != before);
        const QRect g = form->frameGeometry();
        QCOMPARE(QList<int>({ f->SpinEditTop->Value(), f->SpinEditLeft->Value(), f->SpinEditHeight->Value(),
                     f->SpinEditWidth->Value() }),
            QList<int>({ g.top(), g.left(), g.height(), g.width() }));
        QVERIFY(e->text() != shownBefore);
    }

    void placement_belowWhenNoRoomRight()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        const QRect work = dlg->WorkArea();
        form->resize(300, 150);
        form->move(work.width() - 320, 10);
        form->aSettings->trigger();
        QCOMPARE(dlg->pos(), QPoint(form->x(), form->frameGeometry().bottom() + 1)); // below its frame
    }

    void capture_twiceGivesOneEntry_negativeTopNeverApplies()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        form->aSettings->trigger();
        QTest::mouseClick(dlg->FormBtn, Qt::LeftButton);
        form->setGeometry(QRect(20, 30, 640, 300));
        form->move(20, 30);
        dlg->FormActivate();
        const QString text = QStringLiteral("T:30 | L:20 | H:%1 | W:%2")
                                 .arg(form->frameGeometry().height())
                                 .arg(form->frameGeometry().width());
        QTest::mouseClick(dlg->MainFormSettingsToListBoxBtn, Qt::LeftButton);
        QTest::mouseClick(dlg->MainFormSettingsToListBoxBtn, Qt::LeftButton);
        QCOMPARE(presetTexts(dlg), QStringList { text });
        QCOMPARE(dlg->MainFormSettingsListBox->item(0)->checkState(), Qt::Unchecked);
        QVERIFY(!form->mmiScreenPresets->menuAction()->isVisible());

        form->move(20, -8); // typed, a place above the screen would be limited
        QCOMPARE(form->y(), -8);
        dlg->FormActivate();
        QTest::mouseClick(dlg->MainFormSettingsToListBoxBtn, Qt::LeftButton);
        QCOMPARE(presetTexts(dlg).size(), 2);
        QVERIFY(presetTexts(dlg)[1].startsWith(QStringLiteral("T:-8 | L:20 | ")));
        checkItem(dlg->MainFormSettingsListBox->item(1), true);
        QCOMPARE(hints(form->mmiScreenPresets), QStringList { presetTexts(dlg)[1] });
        QVERIFY(form->mmiScreenPresets->menuAction()->isVisible());
        QVERIFY(aboutAtTheRight(form.get()));
        form->move(200, 100);
        form->mmiScreenPresets->actions().first()->trigger();
        QCOMPARE(form->pos(), QPoint(200, 100));
        dlg->MainFormSettingsListBox->setCurrentRow(1);
        QTest::mouseClick(dlg->MainFormSettingsToFormBtn, Qt::LeftButton);
        QCOMPARE(form->pos(), QPoint(200, 100));
        QVERIFY(world.errors.messages.isEmpty());
    }

    void delete_selectsAsDesigned_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("selected");
        QTest::newRow("last of three") << 3 << 2 << 1;
        QTest::newRow("first of three") << 3 << 0 << 0;
        QTest::newRow("the only one") << 1 << 0 << -1;
    }
    void delete_selectsAsDesigned()
    {
        QFETCH(int, count);
        QFETCH(int, deleted);
        QFETCH(int, selected);
        ScriptedWorld world;
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        QList<ScreenPresetEntry> list;
        for (int i = 0; i < count; ++i)
            list.append({ QStringLiteral("T:%1 | L:0 | H:300 | W:600").arg(i), false });
        dlg->SetPresets(list);
        form->aSettings->trigger();
        QTest::mouseClick(dlg->FormBtn, Qt::LeftButton);
        dlg->MainFormSettingsListBox->setCurrentRow(deleted);
        QTest::mouseClick(dlg->DeleteListBoxItemBtn, Qt::LeftButton);
        QCOMPARE(dlg->MainFormSettingsListBox->count(), count - 1);
        QCOMPARE(dlg->MainFormSettingsListBox->currentRow(), selected);
        QCOMPARE(dlg->MainFormSettingsListBox->selectedItems().size(), selected < 0 ? 0 : 1);
        QVERIFY(!presetTexts(dlg).contains(list[deleted].text));
    }

    void uncheckingLastCheckedPreset_hidesMenu_aboutStaysRight()
    {
        ScriptedWorld world;
        writeIni(world.home,
            "[MainFormSettingsListBox]\n0=T:0 | L:0 | H:500 | W:800\n1=T:5 | L:5 | H:400 | W:700\n"
            "[MainFormSettingsListBoxChecked]\n0=1\n1=0\n");
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        QVERIFY(form->mmiScreenPresets->menuAction()->isVisible());
        QCOMPARE(hints(form->mmiScreenPresets), QStringList { QStringLiteral("T:0 | L:0 | H:500 | W:800") });
        QVERIFY(aboutAtTheRight(form.get()));
        checkItem(dlg->MainFormSettingsListBox->item(1), true);
        QCOMPARE(form->mmiScreenPresets->actions().size(), 2);
        checkItem(dlg->MainFormSettingsListBox->item(0), false);
        checkItem(dlg->MainFormSettingsListBox->item(1), false);
        QVERIFY(!form->mmiScreenPresets->menuAction()->isVisible());
        QVERIFY(form->mmiScreenPresets->isEmpty());
        QVERIFY(aboutAtTheRight(form.get()));
        // Deleting a checked entry rebuilds the menu too.
        checkItem(dlg->MainFormSettingsListBox->item(0), true);
        QVERIFY(form->mmiScreenPresets->menuAction()->isVisible());
        form->aSettings->trigger();
        QTest::mouseClick(dlg->FormBtn, Qt::LeftButton);
        dlg->MainFormSettingsListBox->setCurrentRow(0);
        QTest::mouseClick(dlg->DeleteListBoxItemBtn, Qt::LeftButton);
        QVERIFY(!form->mmiScreenPresets->menuAction()->isVisible());
    }

    void presetFromMenu_appliesTextAroundIt_overflowAppliesNothing()
    {
        ScriptedWorld world;
        writeIni(world.home,
            "[MainFormSettingsListBox]\n0=Office: T:0 | L:0 | H:500 | W:800 (wide)\n"
            "1=T:40 | L:99999999999 | H:200 | W:300\n"
            "[MainFormSettingsListBoxChecked]\n0=1\n1=1\n");
        auto form = makeMainForm();
        QList<QAction *> items = form->mmiScreenPresets->actions();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0]->statusTip(), QStringLiteral("Office: T:0 | L:0 | H:500 | W:800 (wide)"));
        form->setGeometry(QRect(100, 100, 600, 300));
        form->move(100, 100);
        items[1]->trigger();
        QCOMPARE(form->pos(), QPoint(100, 100));
        QCOMPARE(form->size(), QSize(600, 300));
        items[0]->trigger();
        QCOMPARE(form->pos(), QPoint(0, 0));
        QCOMPARE(form->frameGeometry().size(), QSize(800, 500));
        // The dialog's edits show the new size too, not only the new place.
        QCOMPARE(form->SettingsForm->ScrPosFrame->SpinEditHeight->Value(), 500);
        QCOMPARE(form->SettingsForm->ScrPosFrame->SpinEditWidth->Value(), 800);
        QVERIFY(world.errors.messages.isEmpty());
    }

    void presetButtons_posSizeAndBoth()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        dlg->SetPresets({ { QStringLiteral("T:11 | L:22 | H:333 | W:444"), false } });
        form->setGeometry(QRect(50, 60, 600, 300));
        form->move(50, 60);
        form->aSettings->trigger();
        QTest::mouseClick(dlg->FormBtn, Qt::LeftButton);
        dlg->FormActivate();
        QTest::mouseClick(dlg->MainFormPosSettingsToFormBtn, Qt::LeftButton);
        QCOMPARE(form->pos(), QPoint(22, 11));
        QCOMPARE(form->size(), QSize(600, 300));
        QTest::mouseClick(dlg->MainFormSizeSettingsToFormBtn, Qt::LeftButton);
        QCOMPARE(form->frameGeometry().size(), QSize(444, 333));
        form->setGeometry(QRect(50, 60, 600, 300));
        form->move(50, 60);
        dlg->FormActivate();
        QTest::mouseClick(dlg->MainFormSettingsToFormBtn, Qt::LeftButton);
        QCOMPARE(form->pos(), QPoint(22, 11));
        QCOMPARE(form->frameGeometry().size(), QSize(444, 333));
        QCOMPARE(dlg->ScrPosFrame->SpinEditHeight->Value(), 333);
    }

    void defaultAndAlmostFullScreen_setWindowAndEdits()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        form->aSettings->trigger();
        QTest::mouseClick(dlg->FormBtn, Qt::LeftButton);
        QTest::mouseClick(dlg->SetDefaultScreenBtn, Qt::LeftButton);
        QCOMPARE(form->pos(), QPoint(75, 75));
        QCOMPARE(form->frameGeometry().size(), QSize(600, 280));
        QCOMPARE(dlg->ScrPosFrame->SpinEditWidth->Value(), 600);
        QTest::mouseClick(dlg->SetAlomstFullScreenBtn, Qt::LeftButton);
        const QSize work = QGuiApplication::primaryScreen()->availableGeometry().size();
        QCOMPARE(form->pos(), QPoint(30, 30));
        QCOMPARE(form->frameGeometry().size(), work - QSize(60, 60)); // 30 pixels all round
        QCOMPARE(dlg->ScrPosFrame->SpinEditTop->Value(), 30);
        QCOMPARE(dlg->ScrPosFrame->SpinEditHeight->Value(), work.height() - 60);
    }

    void stylesWithoutSettingsFile_menuHiddenWithWindowsChecked()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        QVERIFY(!form->mmiStyles->menuAction()->isVisible());
        QCOMPARE(hints(form->mmiStyles),
            QStringList({ QStringLiteral("Fusion"), QStringLiteral("Fusion Dark"), QStringLiteral("Windows") }));
        for (QAction *a : form->mmiStyles->actions()) {
            QCOMPARE(a->isChecked(), a->statusTip() == QStringLiteral("Windows"));
            QVERIFY(!QKeySequence::mnemonic(a->text()).isEmpty());
        }
        TSettingsForm *dlg = form->SettingsForm;
        QCOMPARE(dlg->StylesListBox->count(), 3);
        QCOMPARE(dlg->StylesListBox->currentItem()->text(), QStringLiteral("Windows"));
        form->aSettings->trigger();
        QVERIFY(!dlg->StylesListBox->isEnabled());
        dlg->StylesBtn->click();
        clickBox(dlg->StylesMMCheckBox);
        QVERIFY(form->mmiStyles->menuAction()->isVisible());
        QVERIFY(aboutAtTheRight(form.get()));
        clickBox(dlg->StylesMMCheckBox);
        QVERIFY(!form->mmiStyles->menuAction()->isVisible());
        QVERIFY(aboutAtTheRight(form.get()));
        clickBox(dlg->EnableStylesSettingsCheckBox);
        QVERIFY(dlg->StylesListBox->isEnabled());
        QVERIFY(world.errors.messages.isEmpty());
    }

    void styleFromMenu_closesDialogAndMovesCheck_fromListDoesNot()
    {
        ScriptedWorld world;
        writeIni(world.home, "[Section-Options]\nStylesMM=1\nStylesEnabled=1\n");
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        QVERIFY(form->mmiStyles->menuAction()->isVisible());
        form->aSettings->trigger();
        QAction *dark = form->FindMenuItemByHint(form->MainMenu, QStringLiteral("Fusion Dark"));
        QVERIFY(dark);
        dark->trigger();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(form->AppSettings.Style, QStringLiteral("Fusion Dark"));
        QVERIFY(dark->isChecked());
        QCOMPARE(form->FindMenuItemByHint(form->MainMenu, QStringLiteral("Windows"))->isChecked(), false);
        QCOMPARE(dlg->StylesListBox->currentItem()->text(), QStringLiteral("Fusion Dark"));
        QVERIFY(QApplication::palette().color(QPalette::Window).lightness() < 100);
        QCoreApplication::processEvents();
        QCOMPARE(form->palette().color(QPalette::Window), QApplication::palette().color(QPalette::Window));

        // A pick in the list applies and is stored, but leaves the menu's check where it was.
        form->aSettings->trigger();
        dlg->StylesBtn->click();
        const QList<QListWidgetItem *> windows
            = dlg->StylesListBox->findItems(QStringLiteral("Windows"), Qt::MatchExactly);
        const QRect r = dlg->StylesListBox->visualItemRect(windows.first());
        QTest::mouseClick(dlg->StylesListBox->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(form->AppSettings.Style, QStringLiteral("Windows"));
        QVERIFY(dlg->isVisible());
        QVERIFY(dark->isChecked());
        QVERIFY(QApplication::palette().color(QPalette::Window).lightness() > 150);
        form->close();
        const ProfileFile ini(world.home.dtaDir() + QStringLiteral("Skylark.INI"));
        QCOMPARE(ini.readString(QStringLiteral("Section-Options"), QStringLiteral("Style"), QString()),
            QStringLiteral("Windows"));
        QVERIFY(world.errors.messages.isEmpty());
    }

    void unknownStoredStyle_reportedOnceAtStart_programRunsOn_nameKept()
    {
        ScriptedWorld world;
        writeIni(world.home, "[Section-Options]\nStyle=Motif\n");
        auto form = makeMainForm();
        QCOMPARE(world.errors.messages, QStringList { QStringLiteral("Style 'Motif' not found") });
        QCOMPARE(form->AppSettings.Style, QStringLiteral("Motif"));
        for (QAction *a : form->mmiStyles->actions())
            QVERIFY(!a->isChecked());
        QCOMPARE(form->SettingsForm->StylesListBox->currentItem(), nullptr);
        form->close();
        const ProfileFile ini(world.home.dtaDir() + QStringLiteral("Skylark.INI"));
        QCOMPARE(ini.readString(QStringLiteral("Section-Options"), QStringLiteral("Style"), QString()),
            QStringLiteral("Motif"));
        QCOMPARE(world.errors.messages.size(), 1);
    }

    // A stored style name is a short text: a long one that is no style is quoted in brief, and
    // one beyond the bound is read as no name at all (the default applies), said in one message.
    void longStoredStyle_quotedInBrief_overlongReadAsMissing()
    {
        {
            ScriptedWorld world;
            writeIni(world.home, "[Section-Options]\nStyle=" + QByteArray(kMaxSettingText, 'M') + "\n");
            auto form = makeMainForm();
            QCOMPARE(world.errors.messages.size(), 1);
            QVERIFY2(world.errors.messages[0].size() < 150, qPrintable(world.errors.messages[0]));
            QVERIFY(world.errors.messages[0].startsWith(QStringLiteral("Style 'MMM")));
        }
        ScriptedWorld world;
        writeIni(world.home,
            "[Section-Options]\nStyle=" + QByteArray(2'000'000, 'M')
                + "\n[Section-Settings]\nMetricsAddress=" + QByteArray(500'000, '1')
                + "\n[MainFormSettingsListBox]\n0=T:1 | L:2 | H:3 | W:4\n1=" + QByteArray(1000, 'T') + "\n");
        auto form = makeMainForm();
        QCOMPARE(form->AppSettings.Style, QStringLiteral("Windows"));
        QCOMPARE(form->AppSettings.MetricsAddress, QString());
        QCOMPARE(presetTexts(form->SettingsForm), QStringList({ QStringLiteral("T:1 | L:2 | H:3 | W:4"), QString() }));
        QTRY_COMPARE(world.errors.messages.size(), 1);
        const QString message = world.errors.messages[0];
        QVERIFY2(message.size() < 400, qPrintable(message));
        for (const char *key :
            { "Section-Options/Style", "Section-Settings/MetricsAddress", "MainFormSettingsListBox/1" })
            QVERIFY2(message.contains(QLatin1String(key)), qPrintable(message));
    }

    void storedStyleDifferingInCase_appliesButChecksNothing()
    {
        ScriptedWorld world;
        writeIni(world.home, "[Section-Options]\nStyle=fusion dark\n");
        auto form = makeMainForm();
        QVERIFY(world.errors.messages.isEmpty());
        QVERIFY(QApplication::palette().color(QPalette::Window).lightness() < 100);
        for (QAction *a : form->mmiStyles->actions())
            QVERIFY(!a->isChecked());
        QCOMPARE(form->SettingsForm->StylesListBox->currentItem(), nullptr);
    }

    void directories_labels_copyWithBalloon_openInFileManager()
    {
        ScriptedWorld world;
        QStringList opened;
        TMainForm::SetOpenUrlHandler([&](const QString &p) {
            opened << p;
            return true;
        });
        auto form = makeMainForm();
        TSettingsForm *dlg = form->SettingsForm;
        QCOMPARE(dlg->DtaDirLbl->text(), form->DtaDir);
        QCOMPARE(dlg->LstDirLbl->text(), form->LstDir);
        QCOMPARE(dlg->SsnDirLbl->text(), form->SsnDir);
        QCOMPARE(dlg->TmpDirLbl->text(), form->TmpDir);
        form->aSettings->trigger();
        QTest::mouseClick(dlg->DirBtn, Qt::LeftButton);

        QTest::mouseClick(dlg->LstDirCopyToClpBrdBtn, Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), QString());
        QContextMenuEvent right(
            QContextMenuEvent::Mouse, QPoint(5, 5), dlg->LstDirCopyToClpBrdBtn->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(dlg->LstDirCopyToClpBrdBtn, &right);
        QCOMPARE(QApplication::clipboard()->text(), form->LstDir);
        QCOMPARE(dlg->LstDirJvBalloonHint->Title(), form->LstDir);
        QCOMPARE(dlg->LstDirJvBalloonHint->Text(), QStringLiteral("(Copied to clipboard)"));
        QCOMPARE(dlg->LstDirJvBalloonHint->VisibleMs(), 4000);

        const QList<std::tuple<QPushButton *, TBalloonHint *, QString>> copies
            = { { dlg->DtaDirCopyToClpBrdBtn, dlg->DtaDirJvBalloonHint, form->DtaDir },
                  { dlg->SsnDirCopyToClpBrdBtn, dlg->SsnDirJvBalloonHint, form->SsnDir },
                  { dlg->TmpDirCopyToClpBrdBtn, dlg->TmpDirJvBalloonHint, form->TmpDir } };
        for (auto [button, hint, dir] : copies) {
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(QApplication::clipboard()->text(), dir);
            QCOMPARE(hint->Title(), dir);
            QCOMPARE(hint->Anchor(), button);
        }

        for (QPushButton *b : { dlg->DtaDirOpenInExplorerBtn, dlg->LstDirOpenInExplorerBtn,
                 dlg->SsnDirOpenInExplorerBtn, dlg->TmpDirOpenInExplorerBtn })
            QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(opened, QStringList({ form->DtaDir, form->LstDir, form->SsnDir, form->TmpDir }));
        TMainForm::SetOpenUrlHandler({});
    }
};

QTEST_MAIN(TestSettingsForm)
#include "tst_settingsform.moc"
