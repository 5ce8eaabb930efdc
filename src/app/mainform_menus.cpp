// The main window's command vocabulary: every action, the menu bar, the popup menus, and
// the commands that belong to the shell itself.
#include "mainform.h"

#include "popupmenu.h"
#include "skylarkerror.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QSet>
#include <QShortcut>
#include <QStyleFactory>

namespace {
// The menu bar's style: the application's, except that the items after a separator stand at
// the right end of the bar (where the About item goes), drawn and reached by the keyboard as
// any other item, and that Alt alone moves into the bar.
class MenuBarStyle : public QProxyStyle
{
public:
    MenuBarStyle()
        : QProxyStyle(QStyleFactory::create(QApplication::style()->name()))
    {
    }
    int styleHint(
        StyleHint hint, const QStyleOption *option, const QWidget *widget, QStyleHintReturn *returnData) const override
    {
        if (hint == SH_DrawMenuBarSeparator || hint == SH_MenuBar_AltKeyNavigation)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

void applyMenuBarStyle(QMenuBar *bar)
{
    QStyle *old = bar->style();
    auto *style = new MenuBarStyle;
    style->setParent(bar);
    bar->setStyle(style);
    if (old->parent() == bar)
        old->deleteLater();
}

// Gives the bar a new style of its own each time the application's style changes.
class StyleFollower : public QObject
{
public:
    explicit StyleFollower(QMenuBar *bar)
        : QObject(bar)
        , m_bar(bar)
    {
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::StyleChange)
            applyMenuBarStyle(m_bar);
        return false;
    }

private:
    QMenuBar *m_bar;
};

// Marks the first letter or digit of the item's caption that no other item of the menu uses
// as its access key, unless the caption already has one.
void giveAccessKey(QWidget *menu, QAction *item)
{
    const QString text = item->text();
    if (!QKeySequence::mnemonic(text).isEmpty())
        return;
    QSet<QKeySequence> taken;
    for (QAction *other : menu->actions())
        if (other != item)
            taken.insert(QKeySequence::mnemonic(other->text()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text[i].isLetterOrNumber())
            continue;
        QString marked = text;
        marked.insert(i, u'&');
        if (!taken.contains(QKeySequence::mnemonic(marked))) {
            item->setText(marked);
            return;
        }
    }
}
} // namespace

QAction *TMainForm::addAction(
    QAction *&slot, const char *name, const QString &caption, const char *category, bool visible)
{
    slot = new QAction(caption, this);
    slot->setObjectName(QString::fromLatin1(name));
    if (category)
        slot->setProperty("category", QString::fromLatin1(category));
    slot->setVisible(visible);
    m_actions.append(slot);
    return slot;
}

// A menu item bound to an action: it shows the action's caption (unless it has its own),
// is shown and hidden with the action, and runs it. Its own "itemVisible" property can hide
// it for good.
QAction *TMainForm::addItem(QWidget *menu, const char *name, QAction *action, const QString &ownCaption)
{
    auto *item = new QAction(ownCaption.isEmpty() ? action->text() : ownCaption, menu);
    item->setObjectName(QString::fromLatin1(name));
    item->setProperty("itemVisible", true);
    item->setVisible(action->isVisible());
    connect(action, &QAction::changed, item, [item, action, ownCaption] {
        if (ownCaption.isEmpty())
            item->setText(action->text());
        item->setVisible(action->isVisible() && item->property("itemVisible").toBool());
    });
    connect(item, &QAction::triggered, action, [action] { action->trigger(); });
    menu->addAction(item);
    return item;
}

void TMainForm::connectGuarded(QAction *action, void (TMainForm::*operation)())
{
    connect(action, &QAction::triggered, this,
        [this, operation] { runGuarded([this, operation] { (this->*operation)(); }); });
}

void TMainForm::createActions()
{
    addAction(aSelectListFile, "aSelectListFile", QStringLiteral("&Select List File"), "File");
    addAction(aLoadListFile, "aLoadListFile", QStringLiteral("&Load List File"), "File");
    addAction(aSaveListFile, "aSaveListFile", QStringLiteral("Sa&ve List File"), "File");
    addAction(aOpenDtaDirInExplorer, "aOpenDtaDirInExplorer", QStringLiteral("Open &DtaDir in Explorer"), "File");
    addAction(aCopyDtaDirPathToClipboard, "aCopyDtaDirPathToClipboard",
        QStringLiteral("Copy Dt&aDir Path To Clipboard"), "File");
    addAction(aOpenLstDirInExplorer, "aOpenLstDirInExplorer", QStringLiteral("Open &LstDir In Explorer"), "File");
    addAction(aCopyLstDirPathToClipboard, "aCopyLstDirPathToClipboard",
        QStringLiteral("Copy LstD&ir Path To Clipboard"), "File");
    addAction(aOpenSsnDirInExplorer, "aOpenSsnDirInExplorer", QStringLiteral("Open &SsnDir In Explorer"), "File");
    addAction(aCopySsnDirPathToClipboard, "aCopySsnDirPathToClipboard",
        QStringLiteral("Copy Ss&nDir Path To Clipboard"), "File");
    addAction(aOpenTmpDirInExplorer, "aOpenTmpDirInExplorer", QStringLiteral("Open &TmpDir in Explorer"), "File");
    addAction(aCopyTmpDirPathToClipboard, "aCopyTmpDirPathToClipboard",
        QStringLiteral("Copy T&mpDir Path To Clipboard"), "File");
    addAction(aExit, "aExit", QStringLiteral("E&xit"), "File");

    addAction(aAddPingFrame, "aAddPingFrame", QStringLiteral("Add &Frame"), "Ping");
    addAction(aClearFrames, "aClearFrames", QStringLiteral("&Clear Frames"), "Ping");
    addAction(aClearAllFrames, "aClearAllFrames", QStringLiteral("Clear &All Frames"), "Ping");
    addAction(aStartAllPinging, "aStartAllPinging", QStringLiteral("&Start All Pinging"), "Ping");
    addAction(aStopAllPinging, "aStopAllPinging", QStringLiteral("St&op All Pinging"), "Ping");
    addAction(aSelectSessionFile, "aSelectSessionFile", QStringLiteral("S&elect Session File"), "Ping");
    addAction(aSaveFrameSession, "aSaveFrameSession", QStringLiteral("Sa&ve Frame Session"), "Ping");
    addAction(aLoadFrameSession, "aLoadFrameSession", QStringLiteral("&Load Frame Session"), "Ping");
    addAction(aReloadAutosaveSession, "aReloadAutosaveSession", QStringLiteral("&Reload"), "Ping", false);
    addAction(aAddPingForm, "aAddPingForm", QStringLiteral("A&dd Form"), "Ping");
    addAction(aClearPingForms, "aClearPingForms", QStringLiteral("Clear Fo&rms"), "Ping");

    addAction(aAddNewHost, "aAddNewHost", QStringLiteral("Add"), "HostListbox");
    addAction(aPingSelected, "aPingSelected", QStringLiteral("&Ping Selected"), "HostListbox");
    addAction(aPingSelectedWithExpand, "aPingSelectedWithExpand", QStringLiteral("Ping Selected With E&xpand"),
        "HostListbox");
    addAction(aPingSelected2, "aPingSelected2", QStringLiteral("Ping Selected Column &2"), "HostListbox", false);
    addAction(aHLBEditMemo, "aHLBEditMemo", QStringLiteral("&Edit"), "HostListbox");
    addAction(aSelectAll, "aSelectAll", QStringLiteral("Select &All"), "HostListbox");
    addAction(aDeleteSelectedHost, "aDeleteSelectedHost", QStringLiteral("&Delete"), "HostListbox");
    addAction(aPasteFromClipboard, "aPasteFromClipboard", QStringLiteral("Pas&te"), "HostListbox");
    addAction(aCopyToClipboard, "aCopyToClipboard", QStringLiteral("C&opy"), "HostListbox");
    addAction(aLowerCase, "aLowerCase", QStringLiteral("Lo&werCase"), "HostListbox");
    addAction(aUpperCase, "aUpperCase", QStringLiteral("&UpperCase"), "HostListbox");

    addAction(aSettings, "aSettings", QStringLiteral("&Settings"), "Misc");
    addAction(aOIForm, "aOIForm", QStringLiteral("&Object Inspector"), "Misc");
    addAction(aInfoMemo, "aInfoMemo", QStringLiteral("&InfoMemo"), "Misc");
    addAction(aSizeFrames, "aSizeFrames", QStringLiteral("Si&ze Frames"), "Misc");
    addAction(aSizeFrames2, "aSizeFrames2", QStringLiteral("Size Frames &2"), "Misc", false);
    addAction(aShow2, "aShow2", QStringLiteral("Show Column &2"), "Misc");
    addAction(aShow3, "aShow3", QStringLiteral("Show Column &3"), "Misc", false);
    addAction(aClearFrames2, "aClearFrames2", QStringLiteral("Clear Ping &Frames Column 2"), "Misc", false);
    addAction(aRemoveOrphanFrames, "aRemoveOrphanFrames", QStringLiteral("&Remove Orphan Frames"), "Misc");

    addAction(aHelp, "aHelp", QStringLiteral("&Help"), nullptr, false);
}

void TMainForm::createMenus()
{
    MainMenu = menuBar();
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    // The About item must stay at the right end, which a global (exported) menu bar loses.
    MainMenu->setNativeMenuBar(false);
    applyMenuBarStyle(MainMenu);
    // A change of the application's style reaches the window, not the bar with its own style.
    installEventFilter(new StyleFollower(MainMenu));

    auto topMenu = [this](const char *name, const QString &caption) {
        QMenu *m = MainMenu->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name) + QStringLiteral("Item"));
        return m;
    };

    mmiFile = topMenu("mmiFile", QStringLiteral("&File"));
    addItem(mmiFile, "mmiSelectListFile", aSelectListFile);
    addItem(mmiFile, "mmiLoadListFile", aLoadListFile);
    addItem(mmiFile, "mmiSaveListFile", aSaveListFile);
    mmiFile->addSeparator()->setObjectName(QStringLiteral("mmiRecentFilesSeparator"));
    mmiDirectories = mmiFile->addMenu(QStringLiteral("&Directories"));
    mmiDirectories->setObjectName(QStringLiteral("mmiDirectories"));
    addItem(mmiDirectories, "mmiOpenDtaDirInExplorer", aOpenDtaDirInExplorer);
    addItem(mmiDirectories, "mmiCopyDtaDirPathToClipboard", aCopyDtaDirPathToClipboard);
    mmiDirectories->addSeparator();
    addItem(mmiDirectories, "mmiOpenLstDirInExplorer", aOpenLstDirInExplorer);
    addItem(mmiDirectories, "mmiCopyLstDirPathToClipboard", aCopyLstDirPathToClipboard);
    mmiDirectories->addSeparator();
    addItem(mmiDirectories, "mmiOpenSsnDirInExplorer", aOpenSsnDirInExplorer);
    addItem(mmiDirectories, "mmiCopySsnDirPathToClipboard", aCopySsnDirPathToClipboard);
    mmiDirectories->addSeparator();
    addItem(mmiDirectories, "mmiOpenTmpDirInExplorer", aOpenTmpDirInExplorer);
    addItem(mmiDirectories, "mmiCopyTmpDirPathToClipboard", aCopyTmpDirPathToClipboard);
    mmiFile->addSeparator();
    addItem(mmiFile, "mmiExit", aExit);

    mmiPing = topMenu("mmiPing", QStringLiteral("&Ping"));
    addItem(mmiPing, "mmiAddPingFrame", aAddPingFrame);
    addItem(mmiPing, "mmiClearFrames", aClearFrames);
    mmiClearFrames2 = addItem(mmiPing, "mmiClearFrames2", aClearFrames2, QStringLiteral("Clear Frames Column &2"));
    addItem(mmiPing, "mmiClearAllFrames", aClearAllFrames);
    mmiPing->addSeparator();
    addItem(mmiPing, "mmiStartAllPinging", aStartAllPinging);
    addItem(mmiPing, "mmiStopAllPinging", aStopAllPinging);
    mmiPing->addSeparator();
    addItem(mmiPing, "mmiSelectSessionFile", aSelectSessionFile);
    addItem(mmiPing, "mmiSaveFrameConfig", aSaveFrameSession);
    addItem(mmiPing, "mmiLoadFrameConfig", aLoadFrameSession);
    for (auto [name, action] :
        { std::pair { "mmiAddPingForm", aAddPingForm }, std::pair { "mmiClearPingForms", aClearPingForms } }) {
        QAction *item = addItem(mmiPing, name, action);
        item->setProperty("itemVisible", false);
        item->setVisible(false);
    }

    mmiScreenPresets = topMenu("mmiScreenPresets", QStringLiteral("S&creen Presets"));
    mmiScreenPresets->menuAction()->setVisible(false);
    mmiStyles = topMenu("mmiStyles", QStringLiteral("S&tyles"));

    mmiMisc = topMenu("mmiMisc", QStringLiteral("&Misc"));
    mmiShow2 = addItem(mmiMisc, "mmiShow2", aShow2);
    mmiShow2->setCheckable(true);
    mmiShowColumn2Resize = new QAction(QStringLiteral("Show Column 2 &Resize"), mmiMisc);
    mmiShowColumn2Resize->setObjectName(QStringLiteral("mmiShowColumn2Resize"));
    mmiShowColumn2Resize->setCheckable(true);
    mmiMisc->addAction(mmiShowColumn2Resize);
    mmiMisc->addSeparator();
    Debug1 = mmiMisc->addMenu(QStringLiteral("&Debug"));
    Debug1->setObjectName(QStringLiteral("Debug1"));
    addItem(Debug1, "mmiInfoMemo", aInfoMemo);
    addItem(Debug1, "mmiOIForm", aOIForm);
    addItem(Debug1, "mmiRemoveOrphanFrames", aRemoveOrphanFrames);
    mmiShowReload = new QAction(QStringLiteral("&Show Reload"), Debug1);
    mmiShowReload->setObjectName(QStringLiteral("mmiShowReload"));
    mmiShowReload->setCheckable(true);
    Debug1->addAction(mmiShowReload);
    Debug1->addSeparator();
    addItem(Debug1, "mmiSizeFrames", aSizeFrames);
    addItem(Debug1, "mmiSizeFrames2", aSizeFrames2);
    mmiShow3 = addItem(mmiMisc, "mmiShow3", aShow3);
    mmiOutages = new QAction(QStringLiteral("&Outages..."), mmiMisc);
    mmiOutages->setObjectName(QStringLiteral("mmiOutages"));
    mmiMisc->addAction(mmiOutages);

    mmiReloadAutosaveSession = addItem(MainMenu, "mmiReloadAutosaveSession", aReloadAutosaveSession);
    mmiSettings = addItem(MainMenu, "mmiSettings", aSettings);
    mmiHelp = addItem(MainMenu, "mmiHelp", aHelp);

    mmiVersionAbout = new QAction(QStringLiteral("&About"), this);
    mmiVersionAbout->setObjectName(QStringLiteral("mmiVersionAbout"));
    MainMenu->addAction(mmiVersionAbout);
    // The caption becomes the version at start-up; whatever it reads, it keeps an access key.
    connect(mmiVersionAbout, &QAction::changed, this, [this] { giveAccessKey(MainMenu, mmiVersionAbout); });

    // Like the desktop's own programs: F10 opens the first menu. Not an action shortcut: no
    // command has one.
    auto *f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    f10->setObjectName(QStringLiteral("MenuBarKey"));
    connect(f10, &QShortcut::activated, this, [this] {
        QAction *first = nullptr;
        for (QAction *a : MainMenu->actions())
            if (a->isVisible() && !a->isSeparator()) {
                first = a;
                break;
            }
        if (!first)
            return;
        MainMenu->setActiveAction(first);
        // The bar must have the keyboard as after Alt alone, or Left and Right stop at the first
        // plain item (Settings has no menu to take the keys), and Escape must give the focus
        // back to where it was. An open menu that Escape closes leaves the bar so: close it so,
        // and open it again.
        if (QMenu *menu = first->menu(); menu && menu->isVisible() && !MainMenu->hasFocus()) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(menu, &escape);
            MainMenu->setActiveAction(first);
        }
    });

    // Frame popups: the same items for both columns, each with its own names.
    auto framePopup = [this](const char *name) {
        auto *m = new TPopupMenu(this);
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };
    FramePM1 = framePopup("FramePM1");
    pmiRemoveFrameObject = FramePM1->addAction(QStringLiteral("&Remove Frame"));
    pmiRemoveFrameObject->setObjectName(QStringLiteral("pmiRemoveFrameObject"));
    addItem(FramePM1, "pmiClearFramesColumn1", aClearFrames);
    addItem(FramePM1, "pmiClearAllFrames", aClearAllFrames);
    pmiMoveUp = FramePM1->addAction(QStringLiteral("Move &Up"));
    pmiMoveUp->setObjectName(QStringLiteral("pmiMoveUp"));
    pmiMoveDown = FramePM1->addAction(QStringLiteral("Move &Down"));
    pmiMoveDown->setObjectName(QStringLiteral("pmiMoveDown"));
    pmiMovetoColumn2 = FramePM1->addAction(QStringLiteral("Move to Column &2"));
    pmiMovetoColumn2->setObjectName(QStringLiteral("pmiMovetoColumn2"));
    pmiMovetoColumn2->setVisible(false);
    pmiIntervalTimeout = FramePM1->addAction(QStringLiteral("Interval and &Timeout..."));
    pmiIntervalTimeout->setObjectName(QStringLiteral("pmiIntervalTimeout"));
    pmiHistory = FramePM1->addAction(QStringLiteral("&History..."));
    pmiHistory->setObjectName(QStringLiteral("pmiHistory"));

    FramePM2 = framePopup("FramePM2");
    pmiRemoveFrameObject2 = FramePM2->addAction(QStringLiteral("&Remove Frame"));
    pmiRemoveFrameObject2->setObjectName(QStringLiteral("pmiRemoveFrameObject2"));
    addItem(FramePM2, "pmiClearFramesColumn2", aClearFrames2, QStringLiteral("&Clear Frames"));
    addItem(FramePM2, "pmiClearAllFrames2", aClearAllFrames);
    pmiMoveUp2 = FramePM2->addAction(QStringLiteral("Move &Up"));
    pmiMoveUp2->setObjectName(QStringLiteral("pmiMoveUp2"));
    pmiMoveDown2 = FramePM2->addAction(QStringLiteral("Move &Down"));
    pmiMoveDown2->setObjectName(QStringLiteral("pmiMoveDown2"));
    pmiMovetoColumn1 = FramePM2->addAction(QStringLiteral("Move to Column &1"));
    pmiMovetoColumn1->setObjectName(QStringLiteral("pmiMovetoColumn1"));
    pmiIntervalTimeout2 = FramePM2->addAction(QStringLiteral("Interval and &Timeout..."));
    pmiIntervalTimeout2->setObjectName(QStringLiteral("pmiIntervalTimeout2"));
    pmiHistory2 = FramePM2->addAction(QStringLiteral("&History..."));
    pmiHistory2->setObjectName(QStringLiteral("pmiHistory2"));

    HostListBoxPopupMenu = framePopup("HostListBoxPopupMenu");
    auto *hp = HostListBoxPopupMenu;
    addItem(hp, "pmiPingSelected", aPingSelected);
    addItem(hp, "pmiPingSelectedWithExpand", aPingSelectedWithExpand);
    addItem(hp, "pmiClearFrames", aClearFrames);
    addItem(hp, "pmiPingSelected2", aPingSelected2);
    addItem(hp, "pmiClearFrames2", aClearFrames2);
    hp->addSeparator();
    addItem(hp, "pmiSelectListFile", aSelectListFile);
    addItem(hp, "pmiLoadListFile", aLoadListFile);
    addItem(hp, "pmiSaveListFile", aSaveListFile);
    hp->addSeparator();
    addItem(hp, "pmiCopyToClipboard", aCopyToClipboard);
    addItem(hp, "pmiDeleteSelectedHost", aDeleteSelectedHost);
    addItem(hp, "pmiHLBEditMemo", aHLBEditMemo);
    addItem(hp, "pmiAddToHostListboxFromClipboard", aPasteFromClipboard);
    addItem(hp, "pmiSelectAll", aSelectAll);
    addItem(hp, "pmiLowerCase", aLowerCase);
    addItem(hp, "pmiUpperCase", aUpperCase);
}

void TMainForm::wireShellCommands()
{
    auto copyPath = [](const QString *dir) { return [dir] { QApplication::clipboard()->setText(*dir); }; };
    connect(aOpenDtaDirInExplorer, &QAction::triggered, this, [this] { OpenInExplorer(DtaDir); });
    connect(aOpenLstDirInExplorer, &QAction::triggered, this, [this] { OpenInExplorer(LstDir); });
    connect(aOpenSsnDirInExplorer, &QAction::triggered, this, [this] { OpenInExplorer(SsnDir); });
    connect(aOpenTmpDirInExplorer, &QAction::triggered, this, [this] { OpenInExplorer(TmpDir); });
    connect(aCopyDtaDirPathToClipboard, &QAction::triggered, this, copyPath(&DtaDir));
    connect(aCopyLstDirPathToClipboard, &QAction::triggered, this, copyPath(&LstDir));
    connect(aCopySsnDirPathToClipboard, &QAction::triggered, this, copyPath(&SsnDir));
    connect(aCopyTmpDirPathToClipboard, &QAction::triggered, this, copyPath(&TmpDir));
    connect(aExit, &QAction::triggered, this, &TMainForm::aExitExecute);
    connect(aHelp, &QAction::triggered, this, &TMainForm::aHelpExecute);
    connect(mmiShowReload, &QAction::triggered, this, &TMainForm::mmiShowReloadClick);
    connect(mmiVersionAbout, &QAction::triggered, this, &TMainForm::mmiVersionAboutClick);
    connectGuarded(aInfoMemo, &TMainForm::aInfoMemoExecute);
    connectGuarded(aOIForm, &TMainForm::aOIFormExecute);
}

void TMainForm::mmiShowReloadClick()
{
    aReloadAutosaveSession->setVisible(mmiShowReload->isChecked());
    RightMenu(mmiVersionAbout);
}

void TMainForm::RightMenu(QAction *mmiMoveRight)
{
    // The bar's style places the items after a separator at its right end; the About item is
    // the last one, so it stands there alone.
    const QList<QAction *> items = MainMenu->actions();
    const qsizetype at = items.indexOf(mmiMoveRight);
    if (at < 0)
        return;
    if (at == 0 || !items[at - 1]->isSeparator())
        MainMenu->insertSeparator(mmiMoveRight);
    MainMenu->update();
}
