#pragma once

#include "appsettings.h"
#include "presettext.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QStackedWidget;
class TBalloonHint;
class TIntSpinEdit;
class TMainForm;
class TScrPosFrame;

// The settings dialog: the behaviour switches, the main window's geometry and its presets,
// the program's directories and the style list. One lives for the whole run; closing it
// only hides it. Every control acts at once; the settings file is written at shutdown.
class TSettingsForm : public QDialog
{
    Q_OBJECT
public:
    explicit TSettingsForm(TMainForm *mainForm);

    // Page indexes of JvPageList.
    enum Page { StylesPage = 0, FormPage = 1, DirectoriesPage = 2, MiscPage = 3 };

    // The page shown, or -1 when none is (a stored index outside 0..3).
    int CurrentPage() const { return m_page; }
    void SetCurrentPage(int index);

    // Refreshes the check boxes from the settings, places the dialog by the main window and
    // shows it without making it modal.
    void Execute();

    // The preset list as the settings file keeps it.
    QList<ScreenPresetEntry> Presets() const;
    void SetPresets(const QList<ScreenPresetEntry> &presets);

    // Geometry applied by the dialog's edits and buttons to the main window, one value at a
    // time as the edits give them. Sizes below what the window can take become that size.
    // Each returns the outer geometry asked of the window, kept to what the screens show.
    PresetText::Geometry SetFormTop(int v);
    PresetText::Geometry SetFormLeft(int v);
    PresetText::Geometry SetFormHeight(int v);
    PresetText::Geometry SetFormWidth(int v);
    // The work area of the screen nearest the main window.
    QRect WorkArea() const;

    // Left column and pages.
    QWidget *SetLeftPanel;
    QPushButton *DirBtn, *FormBtn, *MiscBtn, *StylesBtn;
    QStackedWidget *JvPageList;
    QWidget *JvStandardPageStyles, *JvStandardPageForm, *JvStandardPageDirectories, *JvStandardPageMisc;

    // Styles page.
    QListWidget *StylesListBox;
    QCheckBox *StylesMMCheckBox, *EnableStylesSettingsCheckBox;

    // Form page.
    QCheckBox *SavFrmSizChkBox, *SavFrmPosChkBox;
    QPushButton *SetDefaultScreenBtn, *SetAlomstFullScreenBtn;
    TScrPosFrame *ScrPosFrame;
    QListWidget *MainFormSettingsListBox;
    QPushButton *MainFormSettingsToListBoxBtn, *DeleteListBoxItemBtn;
    QGroupBox *ListToFormGroupBox;
    QPushButton *MainFormPosSettingsToFormBtn, *MainFormSizeSettingsToFormBtn, *MainFormSettingsToFormBtn;

    // Directories page.
    QLabel *DtaDirLbl, *LstDirLbl, *SsnDirLbl, *TmpDirLbl;
    QPushButton *DtaDirCopyToClpBrdBtn, *LstDirCopyToClpBrdBtn, *SsnDirCopyToClpBrdBtn, *TmpDirCopyToClpBrdBtn;
    QPushButton *DtaDirOpenInExplorerBtn, *LstDirOpenInExplorerBtn, *SsnDirOpenInExplorerBtn, *TmpDirOpenInExplorerBtn;
    TBalloonHint *DtaDirJvBalloonHint, *LstDirJvBalloonHint, *SsnDirJvBalloonHint, *TmpDirJvBalloonHint;

    // Misc page.
    QCheckBox *AutoStartPingingCheckBox, *StartTimeoutPnlVisibleCheckBox, *ConvertToLCCheckBox, *ConvertToUCCheckBox,
        *PauseForRemoveFrameCheckBox;
    QCheckBox *NotifyHostDownUpCheckBox, *LogResultsCheckBox;
    QLineEdit *MetricsAddressEdit;
    // Host health: the thresholds, the damping and the command run at each change.
    QSpinBox *SlowSpinBox, *LossSpinBox, *DampingSpinBox;
    QLineEdit *ChangeHookEdit;
    // Says so when the session bus has no notification service.
    QLabel *NotifyServiceLbl;

    // Handlers.
    void FormActivate();
    void ConvertToLCCheckBoxClick();
    void ConvertToUCCheckBoxClick();
    void StylesMMCheckBoxClick();
    void EnableStylesSettingsCheckBoxClick();
    void StylesListBoxClick();
    void TScrPosFrameSpinEditTopChange();
    void TScrPosFrameSpinEditLeftChange();
    void TScrPosFrameSpinEditHeightChange();
    void TScrPosFrameSpinEditWidthChange();
    void MainFormSettingsToListBoxBtnClick();
    void MainFormPosSettingsToFormBtnClick() { PresetToScrPosEdits(true, false); }
    void MainFormSizeSettingsToFormBtnClick() { PresetToScrPosEdits(false, true); }
    void MainFormSettingsToFormBtnClick() { PresetToScrPosEdits(true, true); }
    void DeleteListBoxItemBtnClick();
    void MainFormSettingsListBoxClickCheck();
    void SetDefaultScreenBtnClick();
    void SetAlomstFullScreenBtnClick();

    // The geometry edits take the main window's Top, Left, Height and Width.
    void UpdateScrPosEdits();
    // Fills the style list, sorted; no style is applied.
    void FillStylesList(const QStringList &names);
    // Selects the style list's entry with exactly this name, or none; no style is applied.
    void SelectStyleEntry(const QString &name);

protected:
    void changeEvent(QEvent *e) override;

private:
    void followSettings();
    // The check boxes and the settings they show, in the order the dialog sets them.
    QList<std::pair<QCheckBox *, bool TAppSettings::*>> settingBoxes() const;
    void createControls();
    QWidget *createStylesPage();
    QWidget *createFormPage();
    QWidget *createDirectoriesPage();
    QWidget *createMiscPage();
    void PresetToScrPosEdits(bool pos, bool size);
    void copyDirectory(QPushButton *button, TBalloonHint *hint, const QString &dir);

    TMainForm *m_main;
    int m_page = DirectoriesPage;
    // Applies a finished edit; the edits then show the geometry the window was given.
    void applyEdit(TIntSpinEdit *edit, PresetText::Geometry (TSettingsForm::*set)(int));
    // The edits show g; an edit being typed into keeps its text.
    void showGeometry(const PresetText::Geometry &g);
    // Set while the edits are being brought in step with the window, so that they do not
    // move it back in turn.
    bool m_updatingEdits = false;
    // Set while the preset list is filled by the program: no check-mark handler then.
    bool m_fillingPresets = false;
    bool m_selectingStyle = false;
};
