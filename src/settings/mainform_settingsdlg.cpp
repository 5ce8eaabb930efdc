// The main window's side of the settings dialog, the screen presets, the styles and the
// About box.
#include "mainform.h"

#include "aboutbox.h"
#include "presettext.h"
#include "settingsform.h"
#include "settingsrules.h"
#include "skylarkerror.h"
#include "styles.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

void TMainForm::aSettingsExecute()
{
    if (SettingsForm)
        SettingsForm->Execute();
}

void TMainForm::UpdateScrPosEdits()
{
    if (SettingsForm)
        SettingsForm->UpdateScrPosEdits();
}

void TMainForm::ShowDirsInSettings()
{
    if (!SettingsForm)
        return;
    SettingsForm->DtaDirLbl->setText(DtaDir);
    SettingsForm->LstDirLbl->setText(LstDir);
    SettingsForm->SsnDirLbl->setText(SsnDir);
    SettingsForm->TmpDirLbl->setText(TmpDir);
}

void TMainForm::mmiVersionAboutClick()
{
    TAboutBox::Execute(this);
}

// --- Screen presets ----------------------------------------------------------------------

void TMainForm::PopulateScreenPresetsMenu()
{
    mmiScreenPresets->clear();
    const QList<ScreenPresetEntry> presets = SettingsForm ? SettingsForm->Presets() : SettingsExtra.presets;
    QString taken;
    for (const ScreenPresetEntry &e : presets) {
        if (!e.checked)
            continue;
        QAction *item = mmiScreenPresets->addAction(SettingsRules::menuCaption(e.text, taken));
        item->setStatusTip(e.text);
        connect(
            item, &QAction::triggered, this, [this, item] { runGuarded([this, item] { ScreenPresetsClick(item); }); });
    }
    mmiScreenPresets->menuAction()->setVisible(!mmiScreenPresets->isEmpty());
    RightMenu(mmiVersionAbout);
}

void TMainForm::ScreenPresetsClick(QAction *sender)
{
    const auto g = PresetText::parse(sender->statusTip());
    if (!g)
        return;
    SetOuterGeometry(*g);
    // The dialog's edits show the new geometry, its size included.
    UpdateScrPosEdits();
    runBoardCommand([this] {
        SizeFrames();
        SizeFrames2();
    });
}

// --- Styles ------------------------------------------------------------------------------

bool TMainForm::ApplyStyle(const QString &name)
{
    return SkylarkStyles::applyWithMessage(name);
}

void TMainForm::PopulateStylesMenu(const QString &caption)
{
    QMenu *menu = nullptr;
    for (QAction *a : MainMenu->actions())
        if (a->menu() && QString(a->text()).remove(u'&').compare(caption, Qt::CaseInsensitive) == 0) {
            menu = a->menu();
            break;
        }
    if (!menu)
        return;
    QString taken;
    for (const QString &name : SettingsRules::sortedStyleNames(SkylarkStyles::names())) {
        QAction *item = menu->addAction(SettingsRules::menuCaption(name, taken));
        item->setStatusTip(name);
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, [this, item] { runGuarded([this, item] { StylesMenuClick(item); }); });
    }
}

QAction *TMainForm::FindMenuItemByHint(QWidget *menu, const QString &hint) const
{
    for (QAction *a : menu->actions()) {
        if (!a->isSeparator() && a->statusTip() == hint)
            return a;
        if (a->menu())
            if (QAction *found = FindMenuItemByHint(a->menu(), hint))
                return found;
    }
    return nullptr;
}

void TMainForm::UncheckMenuItems(QMenu *item)
{
    for (QAction *a : item->actions())
        a->setChecked(false);
}

void TMainForm::CheckStylesMenuItem(QMenu *item, const QString &name)
{
    for (QAction *a : item->actions())
        if (a->statusTip() == name)
            a->setChecked(true);
}

void TMainForm::StylesMenuClick(QAction *sender)
{
    if (SettingsForm)
        SettingsForm->close();
    UncheckMenuItems(mmiStyles);
    const QString name = sender->statusTip();
    ApplyStyle(name);
    Settings->set(&TAppSettings::Style, name);
    CheckStylesMenuItem(mmiStyles, AppSettings.Style);
    if (SettingsForm)
        SettingsForm->SelectStyleEntry(AppSettings.Style);
}

void TMainForm::PopulateStylesListBox()
{
    if (!SettingsForm)
        return;
    SettingsForm->FillStylesList(SkylarkStyles::names());
    SettingsForm->SelectStyleEntry(AppSettings.Style);
}
