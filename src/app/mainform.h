#pragma once

#include "appsettings.h"
#include "frameboard.h"
#include "settingsowner.h"
#include "sessionfile.h"
#include "presettext.h"
#include "textcodec.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <optional>
#include <utility>

class QAction;
class QDialog;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QMessageBox;
class QTimer;
class QToolButton;
class TColumnPanel;
class THLBEditMemoDlg;
class TInfoMemoForm;
class TOIForm;
class THostListBox;
class TPingForm;
class TPingFrame;
class TPopupMenu;
class TSettingsForm;
class TMostRecentFiles;
class TPingFrame;
class TPopupMenu;
class TSelectFileDlg;
class TSplitterBar;
class TMetricsWatch;
class TResultWatch;

// The main window: the host list on the left, the frame columns on the right, the menus,
// and the start-up and shutdown sequences. Its operations are spread over one source file
// per subsystem: app/ (creation, directories, start-up, shutdown, menus), settings/ (the
// settings file), board/ (frame columns and frame commands), hostlist/ (host list).
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    static constexpr int kClientWidth = 588;
    static constexpr int kClientHeight = 222;

    // Directories, each ending with "/".
    QString ExeDir, DtaDir, LstDir, SsnDir, TmpDir;
    QString GetDtaDir() const { return DtaDir; }
    QString GetLstDir() const { return LstDir; }
    QString GetSsnDir() const { return SsnDir; }
    QString GetTmpDir() const { return TmpDir; }
    QString VersionText;
    // The manual found at the first activation; empty when there is none (Help stays hidden).
    QString HelpFileName;
    // Hosts named on the command line: running frames once start-up is done.
    QStringList StartHosts;

    // The settings in force: read here, changed through Settings.
    TSettingsOwner *const Settings = new TSettingsOwner(this);
    const TAppSettings &AppSettings = Settings->get();
    SettingsExtras SettingsExtra;
    bool FormActivated = false;

    // Long-lived windows created after the main window (program entry sets them).
    THLBEditMemoDlg *HLBEditMemoDlg = nullptr;
    TInfoMemoForm *InfoMemoForm = nullptr;
    TOIForm *OIForm = nullptr;
    TSelectFileDlg *SelectFileDlg = nullptr;

    // --- Actions ---------------------------------------------------------------------
    // File
    QAction *aSelectListFile, *aLoadListFile, *aSaveListFile;
    QAction *aOpenDtaDirInExplorer, *aCopyDtaDirPathToClipboard, *aOpenLstDirInExplorer,
        *aCopyLstDirPathToClipboard, *aOpenSsnDirInExplorer, *aCopySsnDirPathToClipboard,
        *aOpenTmpDirInExplorer, *aCopyTmpDirPathToClipboard, *aExit;
    // Ping
    QAction *aAddPingFrame, *aClearFrames, *aClearAllFrames, *aStartAllPinging, *aStopAllPinging,
        *aSelectSessionFile, *aSaveFrameSession, *aLoadFrameSession, *aReloadAutosaveSession, *aAddPingForm,
        *aClearPingForms;
    // HostListbox
    QAction *aAddNewHost, *aPingSelected, *aPingSelectedWithExpand, *aPingSelected2, *aHLBEditMemo, *aSelectAll,
        *aDeleteSelectedHost, *aPasteFromClipboard, *aCopyToClipboard, *aLowerCase, *aUpperCase;
    // Misc
    QAction *aSettings, *aOIForm, *aInfoMemo, *aSizeFrames, *aSizeFrames2, *aShow2, *aShow3, *aClearFrames2,
        *aRemoveOrphanFrames;
    QAction *aHelp;
    QList<QAction *> Actions() const { return m_actions; }

    // --- Menus -----------------------------------------------------------------------
    QMenuBar *MainMenu;
    QMenu *mmiFile, *mmiDirectories, *mmiPing, *mmiScreenPresets, *mmiStyles, *mmiMisc, *Debug1;
    QAction *mmiShow2, *mmiShowColumn2Resize, *mmiShowReload, *mmiShow3, *mmiClearFrames2;
    QAction *mmiReloadAutosaveSession, *mmiSettings, *mmiHelp, *mmiVersionAbout;
    TPopupMenu *FramePM1, *FramePM2, *HostListBoxPopupMenu;
    QAction *pmiMoveUp, *pmiMoveDown, *pmiMovetoColumn2, *pmiMoveUp2, *pmiMoveDown2, *pmiMovetoColumn1;
    QAction *pmiRemoveFrameObject, *pmiRemoveFrameObject2;

    // --- Controls --------------------------------------------------------------------
    QWidget *LeftPanel, *LeftTopPanel;
    QLineEdit *NewHostEdit;
    QToolButton *AddNewHostSpeedButton;
    THostListBox *HostListBox;
    TSplitterBar *Splitter;
    QWidget *RightPanel;
    TColumnPanel *ColumnPanel1, *ColumnPanel2, *ColumnPanel3;
    TSplitterBar *Splitter12, *Splitter23;

    // --- Frame board: the frames' owner, and the commands that hand it their work ---------
    TFrameBoard *Board = nullptr;
    int SizeMoveStartHeight = 0;
    void AddPingFrame();
    void AddPingFrame2();
    void SizeFrames();
    void SizeFrames2();
    void ShowColumn2();
    void ShowColumn2Resize();
    void aShow3Execute();
    void FormResize();
    void WMEnterSizeMove();
    void WMExitSizeMove();
    bool FramePM1Popup(TPopupMenu *menu);
    bool FramePM2Popup(TPopupMenu *menu);
    void pmiRemoveFrameObjectClick();
    void pmiRemoveFrameObject2Click();
    void pmiMoveUpClick();
    void pmiMoveDownClick();
    void pmiMoveUp2Click();
    void pmiMoveDown2Click();
    void pmiMovetoColumn2Click();
    void pmiMovetoColumn1Click();
    void ClearColumnFrames1();
    void ClearColumnFrames2();
    void ClearAllFrames();
    void StartAllPinging();
    void StopAllPinging();
    void RemoveOrphanFrames();
    bool BoardBusy() const { return Board->Busy(); }
    // Runs a command that touches frames, unless one is waiting for pings; false if refused.
    bool runBoardCommand(const std::function<void()> &operation);
    void ShowPause();
    void AddPingForm();
    void ClearPingForms();

    // --- Host list -------------------------------------------------------------------
    TextCodec::Encoding HostListEncoding = TextCodec::Encoding::Ansi;
    QStringList HostLines() const;
    void SetHostLines(const QStringList &lines);
    void AddNewHost();
    void PasteFromClipboard();
    void CopySelectedHosts();
    void DeleteSelectedHosts();
    void aDeleteSelectedHostExecute();
    void SelectAllHosts();
    void aLowerCaseExecute();
    void aUpperCaseExecute();
    void aHLBEditMemoExecute();
    void PingSelectedHosts();
    void PingSelectedHostsWithExpand();
    void PingSelectedHosts2();
    void AddHostFrame(const QString &host, bool start);
    void AddHostFrameWithExpand(const QString &host, bool start);
    void AddHostFrame2(const QString &host, bool start);
    // The command line's hosts as running frames: a host already on the board is started
    // where it is (when none of its frames runs) instead of being added again.
    void AddStartHosts(const QStringList &hosts);
    void SizeFramesWithExpand();
    // Hands a new frame to the result watch (notifications, result log); watch/.
    void WatchFrame(TPingFrame *frame);
    // Writes the result log's collected lines now.
    void FlushResultLog();
    TResultWatch *ResultWatch = nullptr;
    // The metrics endpoint: serves at StartMetricsAddress when the command line gave one,
    // else at AppSettings.MetricsAddress (nowhere when empty); a failure is shown once.
    void ApplyMetricsAddress();
    TMetricsWatch *MetricsWatch = nullptr;
    QString StartMetricsAddress;
    void LoadAutoSaveList();
    void SaveAutoSaveList();

    // --- Sessions --------------------------------------------------------------------
    QString AutoSaveSessionName() const;
    void SaveFrameSession(const QString &fileName);
    // Replaces the board with the one in the file (a missing file gives an empty board).
    void LoadFrameSession(const QString &fileName);
    void aReloadAutosaveSessionExecute();
    void aSaveFrameSessionExecute();
    void aLoadFrameSessionExecute();
    void aSelectSessionFileExecute();
    void RestoreAutoSaveSession();
    void AutoSaveSession();
    // --- List files and recent files -------------------------------------------------
    // The open and save dialogs shared by the list and session commands (Qt's own dialog).
    QFileDialog *OpenDialog = nullptr;
    QFileDialog *SaveDialog = nullptr;
    // Shows the save dialog until the user cancels (empty result) or picks a name whose file
    // may be written: nameWritten(chosen) is the name the file really gets, and replacing an
    // existing file of that name is asked about first (No shows the dialog again).
    QString AskSaveFileName(const std::function<QString(const QString &)> &nameWritten);
    bool ConfirmReplaceFile(const QString &fileName);
    TMostRecentFiles *MostRecentFiles = nullptr;
    // Replaces the host list by the file's lines and records the file as the most recent;
    // a file that does not exist changes nothing.
    void LoadListFile(const QString &name);
    void aSelectListFileExecute();
    void aLoadListFileExecute();
    void aSaveListFileExecute();
    void MostRecentFilesMenuClick(QAction *sender, const QString &filename);

    // --- Shell -----------------------------------------------------------------------
    void FormCreate();
    void FormActivate();
    // The shutdown sequence; true when it ran through. The first failed write throws
    // SkylarkError (the window stays open); in a later close a failed write asks
    // (AskCloseWithoutFile), and false means the user chose to stay open. In an unattended
    // close it never throws or asks: see CloseUnattended.
    bool FormClose();
    // Asks whether the window may close without the file that could not be written (it keeps
    // its previous contents); true to close.
    bool AskCloseWithoutFile(const QString &failure);
    // Closes the window for a termination signal or the session manager. Nobody is there to
    // answer a dialog: the pause is skipped, a failed write is retried and then logged (the
    // safe save leaves that file as it was) while the other steps still run, and the
    // application quits once the sequence is done, even from inside a modal dialog.
    void CloseUnattended();
    bool ClosingUnattended() const { return m_unattended; }
    void ApplyFormPosSize();
    // The window's outer geometry, frame included: Top/Left/Height/Width as the settings
    // file, sessions, screen presets and the settings dialog's edits have them.
    PresetText::Geometry OuterGeometry() const;
    // Places the window by its outer geometry, limited to what the screens can show and
    // kept where it can be reached (SettingsRules::reachableGeometry).
    // Returns the geometry asked of the window system.
    PresetText::Geometry SetOuterGeometry(const PresetText::Geometry &g);
    // What the window frame adds to the client size; before the window manager has framed
    // this window, that of the main window (or nothing when that is not framed either).
    static QSize FrameExtra(const QWidget *w);
    void RightMenu(QAction *mmiMoveRight);
    void mmiShowReloadClick();
    void mmiVersionAboutClick();
    void aHelpExecute();
    void aExitExecute();
    void OpenInExplorer(const QString &dir);
    // Where the shell's "open" requests go; tests record them instead. The handler returns
    // whether the desktop could open the path.
    static void SetOpenUrlHandler(std::function<bool(const QString &path)> handler);

    // --- Diagnostics windows ---------------------------------------------------------
    void aInfoMemoExecute();
    void aOIFormExecute();
    // --- Settings dialog, screen presets, styles, About box --------------------------
    QPointer<TSettingsForm> SettingsForm;
    void aSettingsExecute();
    void UpdateScrPosEdits();
    void ShowDirsInSettings();
    void PopulateScreenPresetsMenu();
    void ScreenPresetsClick(QAction *sender);
    bool ApplyStyle(const QString &name);
    void PopulateStylesMenu(const QString &caption);
    QAction *FindMenuItemByHint(QWidget *menu, const QString &hint) const;
    void UncheckMenuItems(QMenu *item);
    void CheckStylesMenuItem(QMenu *item, const QString &name);
    void StylesMenuClick(QAction *sender);
    void PopulateStylesListBox();

    // --- Settings file ---------------------------------------------------------------
    QString IniFileName() const;
    void ReadIniOptions();
    void ReadIniWindow();
    void ReadIniMisc();
    void ReadIniSettings();
    void WriteIniFile();

protected:
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void moveEvent(QMoveEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    void createActions();
    void createMenus();
    void createControls();
    // Runs an operation when the action fires; its raised errors go to the error display.
    void connectGuarded(QAction *action, void (TMainForm::*operation)());
    // As connectGuarded, for commands that touch frames; see runBoardCommand.
    void connectBoardCommand(QAction *action, void (TMainForm::*operation)());
    void wireShellCommands();
    void wireBoardCommands();
    void wireHostListCommands();
    void wirePingFormCommands();
    void wireListFileCommands();
    QAction *addAction(QAction *&slot, const char *name, const QString &caption, const char *category,
                       bool visible = true);
    QAction *addItem(QWidget *menu, const char *name, QAction *action, const QString &ownCaption = QString());
    void sizeMoveActivity(int oldHeight);
    void reapplyPendingOuter();

    void pingSelected(const std::function<void(const QString &)> &add);
    TPingFrame *popupFrame(TPopupMenu *menu) const;
    // The filters of the shared open and save dialogs for list and session files.
    static QStringList TextFileFilters();
    // The file chooser on a folder's "*.txt" files: a left press loads the file, a right
    // press opens it in the desktop's program for it.
    void ChooseTextFile(const QString &dir, const std::function<void(const QString &)> &load);

    QList<QAction *> m_actions;
    // A close came while the board waited for pings: it runs when the board is idle.
    bool m_closeAfterWait = false;
    bool m_closing = false;
    bool m_unattended = false;
    bool m_quitAfterClose = false;
    // A close failed on a write: the next failure asks instead of refusing again.
    bool m_closeFailed = false;
    QPointer<QMessageBox> m_closeQuestion;
    // The close's own clear emptied the board (a close that then failed left the window open):
    // while the board stays empty, the autosaved session holds the board from before it.
    bool m_boardClearedByClose = false;
    // The autosaved list could not be read at start-up: it is kept unless the list changes.
    bool m_autoSaveListUnread = false;
    bool m_hostListChanged = false;
    // Likewise for the autosaved session, kept unless the board changed.
    bool m_autoSessionUnread = false;
    bool m_icmpNoticeShown = false;
    // The first activation's work has run (FormActivated is set when it starts).
    bool m_startUpDone = false;
    // The frames of a session load that a close cut short, saved with the board.
    QList<SessionFile::Frame> m_unloaded1, m_unloaded2;
    bool m_column2EverShown = false;
    // The window's widths before and after "Show Column 2 Resize" last widened it.
    std::pair<int, int> m_widthsAroundColumn2 {0, 0};
    QTimer *m_sizeMoveTimer = nullptr;
    // An outer geometry applied before the window manager framed the window: applied again
    // once the frame is known, during start-up.
    std::optional<PresetText::Geometry> m_outerPending;
    QSize m_outerPendingExtra;
};
