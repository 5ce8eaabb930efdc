#include "mainform.h"

#include "hostsummarybar.h"
#include "windowframe.h"

#include "appclock.h"
#include "icmpaccess.h"
#include "icmppermissionnotice.h"
#include "columnpanel.h"
#include "hostlistbox.h"
#include "mostrecentfiles.h"
#include "pingframe.h"
#include "safesave.h"
#include "selectfiledlg.h"
#include "settingsrules.h"
#include "skylarkerror.h"
#include "splitterbar.h"
#include "styles.h"
#include "utlunit.h"

#include <QCloseEvent>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>

namespace {
std::function<bool(const QString &)> &openUrlHandler()
{
    static std::function<bool(const QString &)> handler;
    return handler;
}

// A desktop without a program for the path (no file manager, no browser for the manual) is
// told, or the command would seem to do nothing.
void openWithShell(const QString &path)
{
    const bool opened
        = openUrlHandler() ? openUrlHandler()(path) : QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    if (!opened)
        ErrorDisplay::show(
            QStringLiteral("Cannot open %1: the desktop has no program set up to open it.").arg(Message::quoted(path)));
}
} // namespace

void TMainForm::SetOpenUrlHandler(std::function<bool(const QString &)> handler)
{
    openUrlHandler() = std::move(handler);
}

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Skylark"));
    createActions();
    createControls();
    createMenus();
    Board = new TFrameBoard({ ColumnPanel1, ColumnPanel2, FramePM1, FramePM2, Settings, this }, this);
    Board->setObjectName(QStringLiteral("FrameBoard"));
    // The count of the board's hosts and their problems, with the overviews' filter.
    auto *bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(false);
    bar->addWidget(new THostSummaryBar(Board, bar), 1);
    setStatusBar(bar);
    connect(Board, &TFrameBoard::frameAdded, this, &TMainForm::WatchFrame);
    connect(Board, &TFrameBoard::frameAdded, this, &TMainForm::RecordFrame);
    connect(Board, &TFrameBoard::idle, this, [this] {
        if (m_closeAfterWait) {
            m_closeAfterWait = false;
            QTimer::singleShot(0, this, &QWidget::close);
        }
    });
    wireShellCommands();
    wireBoardCommands();
    wireHostListCommands();
    wirePingFormCommands();
    wireListFileCommands();
    resize(kClientWidth, kClientHeight + MainMenu->sizeHint().height());

    m_sizeMoveTimer = new QTimer(this);
    m_sizeMoveTimer->setSingleShot(true);
    m_sizeMoveTimer->setInterval(300);
    connect(m_sizeMoveTimer, &QTimer::timeout, this, &TMainForm::WMExitSizeMove);

    // Told once a run, in a box that does not stop anything.
    connect(IcmpAccess::instance(), &IcmpAccess::unavailable, this, [this] {
        if (m_icmpNoticeShown || !isVisible())
            return;
        m_icmpNoticeShown = true;
        (new TIcmpPermissionNotice(this))->show();
    });

    FormCreate();
}

TMainForm::~TMainForm()
{
    // The host list tells of its last changes while its children are destroyed, when this
    // window is only part of itself any more.
    disconnect(HostListBox->model(), nullptr, this, nullptr);
}

void TMainForm::createControls()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    auto *h = new QHBoxLayout(central);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);

    LeftPanel = new QWidget(central);
    LeftPanel->setObjectName(QStringLiteral("LeftPanel"));
    LeftPanel->setFixedWidth(105);
    auto *lv = new QVBoxLayout(LeftPanel);
    lv->setContentsMargins(0, 0, 0, 0);
    lv->setSpacing(0);

    LeftTopPanel = new QWidget(LeftPanel);
    LeftTopPanel->setObjectName(QStringLiteral("LeftTopPanel"));
    LeftTopPanel->setFixedHeight(22);
    auto *lt = new QHBoxLayout(LeftTopPanel);
    lt->setContentsMargins(0, 1, 1, 1);
    lt->setSpacing(1);
    NewHostEdit = new QLineEdit(LeftTopPanel);
    NewHostEdit->setObjectName(QStringLiteral("NewHostEdit"));
    AddNewHostSpeedButton = new QToolButton(LeftTopPanel);
    AddNewHostSpeedButton->setObjectName(QStringLiteral("AddNewHostSpeedButton"));
    AddNewHostSpeedButton->setFixedSize(20, 20);
    {
        QFont f = AddNewHostSpeedButton->font();
        f.setPixelSize(8);
        AddNewHostSpeedButton->setFont(f);
    }
    lt->addWidget(NewHostEdit, 1);
    lt->addWidget(AddNewHostSpeedButton);

    HostListBox = new THostListBox(LeftPanel);
    HostListBox->setObjectName(QStringLiteral("HostListBox"));
    lv->addWidget(LeftTopPanel);
    lv->addWidget(HostListBox, 1);

    Splitter = new TSplitterBar(central);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->setSizedWidget(LeftPanel, TSplitterBar::Sizes::LeftNeighbour);

    RightPanel = new QWidget(central);
    RightPanel->setObjectName(QStringLiteral("RightPanel"));
    auto *rh = new QHBoxLayout(RightPanel);
    rh->setContentsMargins(0, 0, 0, 0);
    rh->setSpacing(0);
    ColumnPanel1 = new TColumnPanel(RightPanel);
    ColumnPanel1->setObjectName(QStringLiteral("ColumnPanel1"));
    Splitter12 = new TSplitterBar(RightPanel);
    Splitter12->setObjectName(QStringLiteral("Splitter12"));
    ColumnPanel2 = new TColumnPanel(RightPanel);
    ColumnPanel2->setObjectName(QStringLiteral("ColumnPanel2"));
    ColumnPanel2->SetPanelWidth(45);
    ColumnPanel2->setCaption(QStringLiteral("2"));
    Splitter23 = new TSplitterBar(RightPanel);
    Splitter23->setObjectName(QStringLiteral("Splitter23"));
    ColumnPanel3 = new TColumnPanel(RightPanel);
    ColumnPanel3->setObjectName(QStringLiteral("ColumnPanel3"));
    ColumnPanel3->SetPanelWidth(45);
    ColumnPanel3->setCaption(QStringLiteral("3"));
    Splitter12->setSizedWidget(ColumnPanel2, TSplitterBar::Sizes::RightNeighbour);
    Splitter23->setSizedWidget(ColumnPanel3, TSplitterBar::Sizes::RightNeighbour);
    for (QWidget *w : { static_cast<QWidget *>(Splitter12), static_cast<QWidget *>(ColumnPanel2),
             static_cast<QWidget *>(Splitter23), static_cast<QWidget *>(ColumnPanel3) })
        w->hide();
    ColumnPanel1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    rh->addWidget(ColumnPanel1, 1);
    rh->addWidget(Splitter12);
    rh->addWidget(ColumnPanel2);
    rh->addWidget(Splitter23);
    rh->addWidget(ColumnPanel3);
    connect(Splitter12, &TSplitterBar::moved, this, [this] {
        SizeFrames();
        SizeFrames2();
    });

    h->addWidget(LeftPanel);
    h->addWidget(Splitter);
    h->addWidget(RightPanel, 1);
    setCentralWidget(central);
}

// --- Start-up ------------------------------------------------------------------------

void TMainForm::FormCreate()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    DtaDir = docs + QStringLiteral("/Corvid/Skylark/");
    QDir().mkpath(DtaDir);
    ReadIniOptions();
    if (!SkylarkStyles::apply(AppSettings.Style)) {
        // Told once the event loop runs: a box shown from here, before the loop, would keep a
        // termination signal or a logout from closing the program while it is open.
        QTimer::singleShot(
            0, this, [name = AppSettings.Style] { ErrorDisplay::show(SkylarkStyles::notFoundMessage(name)); });
    }
    ReadIniWindow();
    mmiStyles->menuAction()->setVisible(AppSettings.StylesMM);
    ApplyFormPosSize();
}

void TMainForm::ApplyFormPosSize()
{
    if (!AppSettings.SaveFormPosition && !AppSettings.SaveFormSize)
        return;
    PresetText::Geometry g = OuterGeometry();
    if (AppSettings.SaveFormPosition) {
        g.left = AppSettings.Left;
        g.top = AppSettings.Top;
    }
    if (AppSettings.SaveFormSize) {
        g.width = AppSettings.Width;
        g.height = AppSettings.Height;
    }
    const PresetText::Geometry applied = SetOuterGeometry(g);
    if (!FormActivated || m_outerPending)
        m_outerPending = applied;
}

QSize TMainForm::FrameExtra(const QWidget *w)
{
    return WindowFrame::extra(w);
}

PresetText::Geometry TMainForm::OuterGeometry() const
{
    const QRect r = frameGeometry();
    return { r.top(), r.left(), r.height(), r.width() };
}

// Places the window by its outer geometry, limited to what the screens can show and
// kept where it can be reached (SettingsRules::reachableGeometry).
// Returns the geometry asked of the window system.
PresetText::Geometry TMainForm::SetOuterGeometry(const PresetText::Geometry &wanted)
{
    QList<QRect> areas;
    for (QScreen *screen : QGuiApplication::screens())
        areas.append(screen->availableGeometry());
    const QSize extra = frameGeometry().size() - size();
    const QSize smallest = minimumSizeHint().expandedTo(minimumSize()) + extra;
    const PresetText::Geometry g = SettingsRules::reachableGeometry(wanted, areas, smallest);
    m_outerPendingExtra = extra;
    // A top-level window's position is that of its frame; its size that of its client area.
    move(g.left, g.top);
    resize(std::max(1, g.width - extra.width()), std::max(1, g.height - extra.height()));
    return g;
}

// The window manager frames the window some time after it is shown: the outer geometry
// applied at start-up is applied again with the frame it then has.
void TMainForm::reapplyPendingOuter()
{
    if (!m_outerPending || frameGeometry().size() - size() == m_outerPendingExtra)
        return;
    const PresetText::Geometry g = *m_outerPending;
    SetOuterGeometry(g);
}

void TMainForm::FormActivate()
{
    if (FormActivated)
        return;
    FormActivated = true;
    // However it ends (a raised error ends it early), start-up is over when this returns.
    struct StartUpDone
    {
        bool &done;
        ~StartUpDone() { done = true; }
    } startUpDone { m_startUpDone };

    ApplyFormPosSize();
    // Start-up placement ends once the window has been placed with its frame, or after a few
    // seconds without one; later moves and resizes are the user's. The frame is looked for
    // meanwhile too, as a window manager may frame the window after its last move or resize.
    auto *placing = new QTimer(this);
    placing->setInterval(50);
    QElapsedTimer since;
    since.start();
    connect(placing, &QTimer::timeout, this, [this, placing, since] {
        reapplyPendingOuter();
        const QSize extra = frameGeometry().size() - size();
        if (!m_outerPending || (!extra.isEmpty() && extra == m_outerPendingExtra) || since.elapsed() > 5000) {
            m_outerPending.reset();
            placing->stop();
            placing->deleteLater();
        }
    });
    placing->start();
    ExeDir = QCoreApplication::applicationDirPath() + u'/';
    // A folder of the user's own: in a shared temporary folder, another user must not choose
    // where ours goes.
    TmpDir = UtlUnit::GetPrivateTmpDir();
    LstDir = DtaDir + QStringLiteral("LST/");
    QDir().mkdir(LstDir);
    SsnDir = DtaDir + QStringLiteral("Sessions/");
    QDir().mkdir(SsnDir);
    // The temporary files of saves that were killed half-way (ours alone, by their names).
    for (const QString &dir : { DtaDir, LstDir, SsnDir })
        SafeSave::removeLeftovers(dir);
    ShowDirsInSettings();
    VersionText = QStringLiteral("Skylark-v") + UtlUnit::GetFileVersionStr(QCoreApplication::applicationFilePath());
    MostRecentFiles->SetIniFile(DtaDir + QStringLiteral("LoadFile-MRU.INI"));
    ReadIniMisc();
    if (SelectFileDlg) {
        // The stored size is the outer one, and no larger than the screens show.
        QSize room(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (QScreen *screen = QGuiApplication::primaryScreen())
            room = screen->availableVirtualGeometry().size();
        SelectFileDlg->SetOuterSize(
            QSize(SettingsExtra.SelectFileWidth, SettingsExtra.SelectFileHeight).boundedTo(room));
    }
    mmiVersionAbout->setText(VersionText);
    PopulateStylesMenu(QStringLiteral("Styles"));
    if (QAction *style = FindMenuItemByHint(MainMenu, AppSettings.Style))
        style->setChecked(true);
    // The manual: a help file beside the program, the HTML manual beside it in a build
    // folder, or the installed one in the data folder next to the program's bin folder.
    for (const QString &candidate : { ExeDir + QStringLiteral("Skylark.chm"), ExeDir + QStringLiteral("manual.html"),
             ExeDir + QStringLiteral("../share/skylark/manual.html") }) {
        if (QFileInfo::exists(candidate)) {
            HelpFileName = QFileInfo(candidate).absoluteFilePath();
            aHelp->setVisible(true);
            break;
        }
    }
    RightMenu(mmiVersionAbout);
    ReadIniSettings();
    PopulateStylesListBox();
    // A list that cannot be read must not keep the session from being restored.
    runGuarded([this] { LoadAutoSaveList(); });
    runGuarded([this] { RestoreAutoSaveSession(); });
    ApplyMetricsAddress();
    // After the session, whose load clears the board; the host list is left as it is.
    AddStartHosts(std::exchange(StartHosts, {}));
}

void TMainForm::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    // Without a window manager a shown window may never be activated: start up anyway.
    QTimer::singleShot(0, this, [this] { runGuarded([this] { FormActivate(); }); });
}

void TMainForm::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        runGuarded([this] { FormActivate(); });
}

// --- Shutdown ------------------------------------------------------------------------

// The shutdown sequence; true when it ran through. The first failed write throws
// SkylarkError (the window stays open); in a later close a failed write asks
// (AskCloseWithoutFile), and false means the user chose to stay open. In an unattended
// close it never throws or asks: see CloseUnattended.
bool TMainForm::FormClose()
{
    // Closed before start-up is over (a signal while a start-up message is open): the files
    // are not all read yet, and an empty list or board must not be written over them.
    if (!m_startUpDone)
        return true;
    const std::function<void()> steps[] = {
        [this] { SaveAutoSaveList(); },
        [this] { AutoSaveSession(); },
        [this] { ClearPingForms(); },
        [this] {
            Board->clearColumns({ 1, 2 }, true);
            // The board is empty now because we emptied it, not because the user did.
            m_boardClearedByClose = true;
        },
        [this] { FlushResultLog(); },
        [this] { CloseHistory(); },
        [this] { WriteIniFile(); },
    };
    for (const auto &step : steps) {
        for (int attempt = 1;; ++attempt) {
            try {
                step();
                break;
            } catch (const SkylarkError &e) {
                if (!m_unattended) {
                    // The first failure ends the close; after that, the user decides whether
                    // the window may close without this file.
                    if (!m_closeFailed)
                        throw;
                    if (!AskCloseWithoutFile(e.message()))
                        return false;
                    qWarning("%s", qPrintable(e.message()));
                    break;
                }
                // Unattended: a passing failure may clear up in a moment; a lasting one leaves
                // that file as it was, and the remaining steps still get their chance.
                if (attempt < 3) {
                    QThread::msleep(100);
                    continue;
                }
                qWarning("%s", qPrintable(e.message()));
                break;
            }
        }
    }
    return true;
}

// Asks whether the window may close without the file that could not be written (it keeps
// its previous contents); true to close.
bool TMainForm::AskCloseWithoutFile(const QString &failure)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Skylark"),
        failure + QStringLiteral("\n\nClose without writing this file? It keeps its previous contents."),
        QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("CloseWithoutFileQuestion"));
    QPushButton *closeButton = box.addButton(QStringLiteral("Close Without It"), QMessageBox::DestructiveRole);
    closeButton->setObjectName(QStringLiteral("CloseWithoutFileBtn"));
    QPushButton *stayButton = box.addButton(QStringLiteral("Stay Open"), QMessageBox::RejectRole);
    stayButton->setObjectName(QStringLiteral("StayOpenBtn"));
    box.setDefaultButton(stayButton);
    box.setEscapeButton(stayButton);
    m_closeQuestion = &box;
    box.exec();
    m_closeQuestion = nullptr;
    // A signal or a logout that came meanwhile answered for the user (CloseUnattended).
    return m_unattended || box.clickedButton() == closeButton;
}

// Closes the window for a termination signal or the session manager. Nobody is there to
// answer a dialog: the pause is skipped, a failed write is retried and then logged (the
// safe save leaves that file as it was) while the other steps still run, and the
// application quits once the sequence is done, even from inside a modal dialog.
void TMainForm::CloseUnattended()
{
    m_unattended = true;
    Board->SetUnattended(true);
    if (Board->aMsgDlgTm)
        Board->aMsgDlgTm->reject(); // a pause that nobody will answer
    if (m_closeQuestion)
        m_closeQuestion->reject(); // nor a question: the close goes on without that file
    if (m_closing || BoardBusy()) {
        // A close or a wait for pings is under way below us; the close finishes when it
        // returns, and the application then quits.
        m_quitAfterClose = true;
        if (BoardBusy())
            m_closeAfterWait = true;
        return;
    }
    if (!isVisible() || close())
        QCoreApplication::quit();
}

void TMainForm::closeEvent(QCloseEvent *e)
{
    if (m_closing) {
        e->ignore();
        return;
    }
    if (BoardBusy()) {
        // A board command is waiting for pings; close once it is done.
        m_closeAfterWait = true;
        e->ignore();
        return;
    }
    m_closing = true;
    QString failure;
    bool done = false;
    try {
        done = FormClose();
    } catch (const SkylarkError &err) {
        failure = err.message();
    }
    m_closing = false;
    if (done) {
        AppClock::setTerminating(true);
        e->accept();
        if (m_unattended || m_quitAfterClose)
            QTimer::singleShot(0, qApp, [] {
                // Dialogs left open (an error box of an earlier close) have nobody to answer
                // them; close them so that their loops end too, then quit.
                for (int i = 0; i < 20 && QApplication::activeModalWidget(); ++i)
                    QApplication::activeModalWidget()->close();
                QCoreApplication::quit();
            });
        return;
    }
    e->ignore();
    if (failure.isEmpty())
        return; // the user chose to stay open
    m_closeFailed = true;
    // Shown once this close is over, so that a further close (a termination signal while
    // the box is open) runs the whole sequence again instead of finding one in progress.
    QTimer::singleShot(0, this, [failure] { ErrorDisplay::show(failure); });
}

// --- Window events -------------------------------------------------------------------

void TMainForm::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    reapplyPendingOuter();
    sizeMoveActivity(e->oldSize().height());
    FormResize();
}

void TMainForm::moveEvent(QMoveEvent *e)
{
    QMainWindow::moveEvent(e);
    reapplyPendingOuter();
    sizeMoveActivity(height());
    UpdateScrPosEdits();
}

// Qt reports no start or end of an interactive move or size; a burst of move and resize
// events stands in for one, ending when the window has been still for a moment.
void TMainForm::sizeMoveActivity(int oldHeight)
{
    if (!isVisible())
        return;
    if (!m_sizeMoveTimer->isActive()) {
        WMEnterSizeMove();
        SizeMoveStartHeight = oldHeight >= 0 ? oldHeight : height();
    }
    m_sizeMoveTimer->start();
}

void TMainForm::WMEnterSizeMove()
{
    SizeMoveStartHeight = height();
}

void TMainForm::WMExitSizeMove()
{
    if (height() != SizeMoveStartHeight) {
        SizeFrames();
        SizeFrames2();
    }
}

// --- Shell commands ------------------------------------------------------------------

void TMainForm::OpenInExplorer(const QString &dir)
{
    openWithShell(dir);
}

void TMainForm::aHelpExecute()
{
    if (!HelpFileName.isEmpty())
        openWithShell(HelpFileName);
}

void TMainForm::aExitExecute()
{
    close();
}
