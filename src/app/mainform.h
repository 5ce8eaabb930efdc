#pragma once

#include "appsettings.h"
#include "frameboard.h"
#include "listfile.h"
#include "settingsowner.h"
#include "sessionfile.h"
#include "presettext.h"
#include "profilefile.h"
#include "textcodec.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <optional>
#include <utility>

class QAction;
class QFileDialog;
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
class TSettingsForm;
class TMostRecentFiles;
class TSelectFileDlg;
class TSplitterBar;
class TMetricsWatch;
class TResultWatch;
class HistoryRecorder;
class HistoryThread;
class THistoryForm;
class TOutagesForm;

// The main window: the host list on the left, the frame columns on the right, the menus,
// and the start-up and shutdown sequences. The frames belong to the board (TFrameBoard),
// the settings to their owner (TSettingsOwner). Its own operations are spread over one
// source file per subsystem: app/ (creation, start-up, shutdown, menus, the board's
// commands, watches), settings/, hostlist/, session/ and diag/.
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
    QStringList StartHosts; // from the command line: running frames once start-up is done

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
    QAction *aOpenDtaDirInExplorer, *aCopyDtaDirPathToClipboard, *aOpenLstDirInExplorer, *aCopyLstDirPathToClipboard,
        *aOpenSsnDirInExplorer, *aCopySsnDirPathToClipboard, *aOpenTmpDirInExplorer, *aCopyTmpDirPathToClipboard,
        *aExit;
    // Ping
    QAction *aAddPingFrame, *aClearFrames, *aClearAllFrames, *aStartAllPinging, *aStopAllPinging, *aSelectSessionFile,
        *aSaveFrameSession, *aLoadFrameSession, *aReloadAutosaveSession, *aAddPingForm, *aClearPingForms;
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
    // After the frame menus' own items: the host's interval and echo time-out.
    QAction *pmiIntervalTimeout, *pmiIntervalTimeout2;
    // After those: the host's history.
    QAction *pmiHistory, *pmiHistory2;
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

    // --- Frame board: the frames' owner; the commands below hand it their work ------
    TFrameBoard *Board = nullptr;
    int SizeMoveStartHeight = 0;
    void AddPingFrame(), AddPingFrame2(), SizeFrames(), SizeFrames2(), ClearColumnFrames1(), ClearColumnFrames2(),
        ClearAllFrames(), StartAllPinging(), StopAllPinging(), RemoveOrphanFrames(), ShowPause(), AddPingForm(),
        ClearPingForms();
    void pmiRemoveFrameObjectClick(), pmiRemoveFrameObject2Click(), pmiMoveUpClick(), pmiMoveDownClick(),
        pmiMoveUp2Click(), pmiMoveDown2Click(), pmiMovetoColumn2Click(), pmiMovetoColumn1Click();
    // Edits the interval and time-out words of a frame's host text.
    void EditFrameTiming(TPingFrame *frame);
    bool FramePM1Popup(TPopupMenu *menu), FramePM2Popup(TPopupMenu *menu);
    void ShowColumn2(), ShowColumn2Resize(), aShow3Execute(), FormResize(), WMEnterSizeMove(), WMExitSizeMove();
    bool BoardBusy() const { return Board->Busy(); }
    // Runs a command that touches frames, unless one is waiting for pings; false if refused.
    bool runBoardCommand(const std::function<void()> &operation);

    // --- Host list -------------------------------------------------------------------
    TextCodec::Encoding HostListEncoding = TextCodec::Encoding::Ansi;
    ListFile::LineEnds HostListLineEnds = ListFile::LineEnds::CrLf;
    QStringList HostLines() const;
    void SetHostLines(const QStringList &lines);
    void AddNewHost(), PasteFromClipboard(), CopySelectedHosts(), DeleteSelectedHosts(), aDeleteSelectedHostExecute(),
        SelectAllHosts(), aLowerCaseExecute(), aUpperCaseExecute(), aHLBEditMemoExecute();
    void PingSelectedHosts(), PingSelectedHostsWithExpand(), PingSelectedHosts2(), SizeFramesWithExpand();
    void AddHostFrame(const QString &host, bool start), AddHostFrameWithExpand(const QString &host, bool start),
        AddHostFrame2(const QString &host, bool start);
    void AddStartHosts(const QStringList &hosts);
    // The result watch (notifications, result log) and the metrics watch follow every frame.
    void WatchFrame(TPingFrame *frame), FlushResultLog(), ApplyMetricsAddress();
    TResultWatch *ResultWatch = nullptr;
    TMetricsWatch *MetricsWatch = nullptr;
    QString StartMetricsAddress;
    // The history of every frame's results (historyview/mainform_history.cpp): made with the
    // first frame, closed at the end of the shutdown sequence.
    QString HistoryDir() const;
    void RecordFrame(TPingFrame *frame), CloseHistory();
    // The history window of the frame's host (one per host; shown again when open).
    THistoryForm *ShowHistory(TPingFrame *frame);
    THistoryForm *ShowHistoryOf(const QString &identity);
    // The outages of every host (Misc menu, after its own items).
    TOutagesForm *ShowOutages();
    QAction *mmiOutages;
    HistoryThread *HistoryWriting = nullptr;
    HistoryRecorder *HistoryRecording = nullptr;
    void LoadAutoSaveList(), SaveAutoSaveList();

    // --- Sessions --------------------------------------------------------------------
    QString AutoSaveSessionName() const;
    // A load replaces the board with the one in the file (a missing file gives an empty board).
    void SaveFrameSession(const QString &fileName), LoadFrameSession(const QString &fileName);
    void aReloadAutosaveSessionExecute(), aSaveFrameSessionExecute(), aLoadFrameSessionExecute(),
        aSelectSessionFileExecute(), RestoreAutoSaveSession(), AutoSaveSession();
    // --- List files and recent files -------------------------------------------------
    // The open and save dialogs shared by the list and session commands (Qt's own dialog).
    QFileDialog *OpenDialog = nullptr, *SaveDialog = nullptr;
    QString AskSaveFileName(const std::function<QString(const QString &)> &nameWritten);
    bool ConfirmReplaceFile(const QString &fileName);
    TMostRecentFiles *MostRecentFiles = nullptr;
    void LoadListFile(const QString &name), aSelectListFileExecute(), aLoadListFileExecute(), aSaveListFileExecute();
    void MostRecentFilesMenuClick(QAction *sender, const QString &filename);

    // --- Shell -----------------------------------------------------------------------
    void FormCreate(), FormActivate();
    bool FormClose(), AskCloseWithoutFile(const QString &failure); // the shutdown sequence
    // Closes the window for a termination signal or the session manager.
    void CloseUnattended();
    bool ClosingUnattended() const { return m_unattended; }
    void ApplyFormPosSize();
    // The window's outer geometry, frame included, and its placement by it.
    PresetText::Geometry OuterGeometry() const;
    PresetText::Geometry SetOuterGeometry(const PresetText::Geometry &g);
    static QSize FrameExtra(const QWidget *w);
    void RightMenu(QAction *mmiMoveRight);
    void mmiShowReloadClick(), mmiVersionAboutClick(), aHelpExecute(), aExitExecute();
    void OpenInExplorer(const QString &dir);
    // Where the shell's "open" requests go (tests record them); true if the desktop opened it.
    static void SetOpenUrlHandler(std::function<bool(const QString &path)> handler);

    void aInfoMemoExecute(), aOIFormExecute(); // the diagnostics windows
    // --- Settings dialog, screen presets, styles, About box --------------------------
    QPointer<TSettingsForm> SettingsForm;
    void aSettingsExecute(), UpdateScrPosEdits(), ShowDirsInSettings(), PopulateScreenPresetsMenu(),
        PopulateStylesListBox();
    void ScreenPresetsClick(QAction *sender), StylesMenuClick(QAction *sender);
    void PopulateStylesMenu(const QString &caption);
    bool ApplyStyle(const QString &name);
    QAction *FindMenuItemByHint(QWidget *menu, const QString &hint) const;
    void UncheckMenuItems(QMenu *item), CheckStylesMenuItem(QMenu *item, const QString &name);

    QString IniFileName() const; // the settings file
    // The settings file for reading; one that is there and cannot be read is said once.
    ProfileFile ReadIniFile();
    void ReadIniOptions(), ReadIniWindow(), ReadIniMisc(), ReadIniSettings(), WriteIniFile();

protected:
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void moveEvent(QMoveEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    void createActions(), createMenus(), createControls();
    void pingSelected(const std::function<void(const QString &)> &add);
    // Runs an operation when the action fires, its errors shown; a board command by its rule.
    void connectGuarded(QAction *action, void (TMainForm::*operation)());
    void connectBoardCommand(QAction *action, void (TMainForm::*operation)());
    void wireShellCommands(), wireBoardCommands(), wireHostListCommands(), wirePingFormCommands(),
        wireListFileCommands();
    QAction *addAction(
        QAction *&slot, const char *name, const QString &caption, const char *category, bool visible = true);
    QAction *addItem(QWidget *menu, const char *name, QAction *action, const QString &ownCaption = QString());
    void sizeMoveActivity(int oldHeight), reapplyPendingOuter();
    TPingFrame *popupFrame(TPopupMenu *menu) const;
    // The filters of the shared open and save dialogs, and the chooser of a folder's files.
    static QStringList TextFileFilters();
    void ChooseTextFile(const QString &dir, const std::function<void(const QString &)> &load);

    QList<QAction *> m_actions;
    // The close: under way, by signal or logout (unattended), quitting once done, after a write
    // failed (the next failure asks), and deferred because the board waits for pings.
    bool m_closing = false, m_unattended = false, m_quitAfterClose = false, m_closeFailed = false,
         m_closeAfterWait = false;
    QPointer<QMessageBox> m_closeQuestion;
    // The close's own clear emptied the board (a close that then failed left the window open):
    // while the board stays empty, the autosaved session holds the board from before it.
    bool m_boardClearedByClose = false;
    // The autosaved list and session could not be read at start-up: each is kept until the
    // list changes, or the board does.
    bool m_autoSaveListUnread = false, m_hostListChanged = false, m_autoSessionUnread = false;
    // The settings file could not be read at start-up, and the settings and presets as they
    // were then: the file is kept as it is unless they change.
    bool m_iniUnread = false;
    std::optional<TAppSettings> m_iniSettingsRead;
    QList<ScreenPresetEntry> m_iniPresetsRead;
    // The ICMP notice was shown; the first activation's work has run (FormActivated: began).
    bool m_icmpNoticeShown = false, m_startUpDone = false;
    // The frames of a session load not yet made (still under way, or cut short by a close),
    // saved with the board.
    QList<SessionFile::Frame> m_unloaded1, m_unloaded2;
    bool m_column2EverShown = false;
    // The window's widths before and after "Show Column 2 Resize" last widened it.
    std::pair<int, int> m_widthsAroundColumn2 { 0, 0 };
    QTimer *m_sizeMoveTimer = nullptr;
    // Applied before the window manager framed the window: applied again once it has.
    std::optional<PresetText::Geometry> m_outerPending;
    QSize m_outerPendingExtra;
};
