#include "settingsform.h"

#include "balloonhint.h"
#include "mainform.h"
#include "presettext.h"
#include "scrposframe.h"
#include "settingsrules.h"
#include "skylarkerror.h"
#include "styles.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {
constexpr int kHintMs = 4000;

template <typename T> T *named(T *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}
} // namespace

TSettingsForm::TSettingsForm(TMainForm *mainForm)
    : QDialog(mainForm)
    , m_main(mainForm)
{
    setObjectName(QStringLiteral("SettingsForm"));
    setWindowTitle(QStringLiteral("Settings"));
    setModal(false);
    createControls();
    resize(sizeHint().expandedTo(QSize(434, 326)));
    SetCurrentPage(DirectoriesPage);
    m_main->SettingsForm = this;
    connect(
        m_main->aSettings, &QAction::triggered, this, [this] { runGuarded([this] { m_main->aSettingsExecute(); }); });
}

void TSettingsForm::createControls()
{
    auto *h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);

    SetLeftPanel = named(new QWidget(this), "SetLeftPanel");
    SetLeftPanel->setFixedWidth(75);
    auto *lv = new QVBoxLayout(SetLeftPanel);
    lv->setContentsMargins(2, 2, 2, 2);
    DirBtn = named(new QPushButton(QStringLiteral("Directories"), SetLeftPanel), "DirBtn");
    FormBtn = named(new QPushButton(QStringLiteral("Form"), SetLeftPanel), "FormBtn");
    MiscBtn = named(new QPushButton(QStringLiteral("Misc"), SetLeftPanel), "MiscBtn");
    StylesBtn = named(new QPushButton(QStringLiteral("Styles"), SetLeftPanel), "StylesBtn");
    StylesBtn->hide();
    for (QPushButton *b : { DirBtn, FormBtn, MiscBtn, StylesBtn }) {
        b->setAutoDefault(false);
        lv->addWidget(b);
    }
    lv->addStretch(1);
    connect(DirBtn, &QPushButton::clicked, this, [this] { SetCurrentPage(DirectoriesPage); });
    connect(FormBtn, &QPushButton::clicked, this, [this] { SetCurrentPage(FormPage); });
    connect(MiscBtn, &QPushButton::clicked, this, [this] { SetCurrentPage(MiscPage); });
    connect(StylesBtn, &QPushButton::clicked, this, [this] { SetCurrentPage(StylesPage); });

    JvPageList = named(new QStackedWidget(this), "JvPageList");
    JvStandardPageStyles = createStylesPage();
    JvStandardPageForm = createFormPage();
    JvStandardPageDirectories = createDirectoriesPage();
    JvStandardPageMisc = createMiscPage();
    for (QWidget *page : { JvStandardPageStyles, JvStandardPageForm, JvStandardPageDirectories, JvStandardPageMisc })
        JvPageList->addWidget(page);
    h->addWidget(SetLeftPanel);
    h->addWidget(JvPageList, 1);
    // The boxes show the settings as they are, whoever changed them (a log that could not be
    // written turns logging off, say).
    connect(m_main->Settings, &TSettingsOwner::changed, this, &TSettingsForm::followSettings);
}

void TSettingsForm::followSettings()
{
    // A hidden dialog takes the settings as they are when it is shown (Execute). A shown one's
    // boxes only show what changed: their handlers, which write the settings, stay out of it.
    if (!isVisible())
        return;
    const TAppSettings &s = m_main->AppSettings;
    for (auto [box, setting] : settingBoxes())
        if (box->isChecked() != s.*setting) {
            const QSignalBlocker quiet(box);
            box->setChecked(s.*setting);
        }
    StylesListBox->setEnabled(s.StylesEnabled);
}

QList<std::pair<QCheckBox *, bool TAppSettings::*>> TSettingsForm::settingBoxes() const
{
    return { { SavFrmSizChkBox, &TAppSettings::SaveFormSize }, { SavFrmPosChkBox, &TAppSettings::SaveFormPosition },
        { EnableStylesSettingsCheckBox, &TAppSettings::StylesEnabled }, { StylesMMCheckBox, &TAppSettings::StylesMM },
        { AutoStartPingingCheckBox, &TAppSettings::AutoStartPinging },
        { StartTimeoutPnlVisibleCheckBox, &TAppSettings::StartTimeoutPnlVisible },
        { ConvertToLCCheckBox, &TAppSettings::ConvertToLC }, { ConvertToUCCheckBox, &TAppSettings::ConvertToUC },
        { PauseForRemoveFrameCheckBox, &TAppSettings::PauseForRemoveFrame },
        { NotifyHostDownUpCheckBox, &TAppSettings::NotifyHostDownUp },
        { LogResultsCheckBox, &TAppSettings::LogResults } };
}

QWidget *TSettingsForm::createStylesPage()
{
    auto *page = named(new QWidget, "JvStandardPageStyles");
    auto *v = new QVBoxLayout(page);
    StylesListBox = named(new QListWidget(page), "StylesListBox");
    StylesListBox->setEnabled(false);
    StylesMMCheckBox = named(new QCheckBox(QStringLiteral("Styles on MainMenu"), page), "StylesMMCheckBox");
    EnableStylesSettingsCheckBox
        = named(new QCheckBox(QStringLiteral("Enable Styles on Settings"), page), "EnableStylesSettingsCheckBox");
    v->addWidget(StylesListBox, 1);
    v->addWidget(StylesMMCheckBox);
    v->addWidget(EnableStylesSettingsCheckBox);
    connect(StylesListBox, &QListWidget::currentItemChanged, this, [this](QListWidgetItem *item) {
        if (!m_selectingStyle && item)
            runGuarded([this] { StylesListBoxClick(); });
    });
    connect(StylesMMCheckBox, &QCheckBox::toggled, this, [this] { StylesMMCheckBoxClick(); });
    connect(EnableStylesSettingsCheckBox, &QCheckBox::toggled, this, [this] { EnableStylesSettingsCheckBoxClick(); });
    return page;
}

QWidget *TSettingsForm::createFormPage()
{
    auto *page = named(new QWidget, "JvStandardPageForm");
    auto *v = new QVBoxLayout(page);

    auto *top = new QHBoxLayout;
    SetDefaultScreenBtn = named(new QPushButton(QStringLiteral("Set Default Scrren"), page), "SetDefaultScreenBtn");
    SetAlomstFullScreenBtn
        = named(new QPushButton(QStringLiteral("Set Alomst Full Screen"), page), "SetAlomstFullScreenBtn");
    top->addWidget(SetDefaultScreenBtn);
    top->addWidget(SetAlomstFullScreenBtn);
    v->addLayout(top);

    auto *switches = new QHBoxLayout;
    SavFrmSizChkBox = named(new QCheckBox(QStringLiteral("Save form size"), page), "SavFrmSizChkBox");
    SavFrmPosChkBox = named(new QCheckBox(QStringLiteral("Save form position"), page), "SavFrmPosChkBox");
    switches->addWidget(SavFrmSizChkBox);
    switches->addWidget(SavFrmPosChkBox);
    v->addLayout(switches);

    ScrPosFrame = new TScrPosFrame(page);
    v->addWidget(ScrPosFrame);

    auto *presets = new QHBoxLayout;
    MainFormSettingsListBox = named(new QListWidget(page), "MainFormSettingsListBox");
    presets->addWidget(MainFormSettingsListBox, 1);
    auto *buttons = new QVBoxLayout;
    MainFormSettingsToListBoxBtn
        = named(new QPushButton(QStringLiteral("Get (To ListBox)"), page), "MainFormSettingsToListBoxBtn");
    ListToFormGroupBox = named(new QGroupBox(QStringLiteral("List to Form"), page), "ListToFormGroupBox");
    auto *g = new QHBoxLayout(ListToFormGroupBox);
    g->setContentsMargins(4, 4, 4, 4);
    MainFormPosSettingsToFormBtn
        = named(new QPushButton(QStringLiteral("Pos"), ListToFormGroupBox), "MainFormPosSettingsToFormBtn");
    MainFormSizeSettingsToFormBtn
        = named(new QPushButton(QStringLiteral("Size"), ListToFormGroupBox), "MainFormSizeSettingsToFormBtn");
    MainFormSettingsToFormBtn
        = named(new QPushButton(QStringLiteral("Set (To Form)"), ListToFormGroupBox), "MainFormSettingsToFormBtn");
    g->addWidget(MainFormPosSettingsToFormBtn);
    g->addWidget(MainFormSizeSettingsToFormBtn);
    g->addWidget(MainFormSettingsToFormBtn);
    DeleteListBoxItemBtn = named(new QPushButton(QStringLiteral("Delete"), page), "DeleteListBoxItemBtn");
    buttons->addWidget(MainFormSettingsToListBoxBtn);
    buttons->addWidget(ListToFormGroupBox);
    buttons->addWidget(DeleteListBoxItemBtn);
    buttons->addStretch(1);
    presets->addLayout(buttons);
    v->addLayout(presets, 1);

    for (QPushButton *b : page->findChildren<QPushButton *>())
        b->setAutoDefault(false);

    connect(SavFrmSizChkBox, &QCheckBox::toggled, this,
        [this](bool on) { m_main->Settings->set(&TAppSettings::SaveFormSize, on); });
    connect(SavFrmPosChkBox, &QCheckBox::toggled, this,
        [this](bool on) { m_main->Settings->set(&TAppSettings::SaveFormPosition, on); });
    connect(ScrPosFrame->SpinEditTop, &TIntSpinEdit::Changed, this, [this] { TScrPosFrameSpinEditTopChange(); });
    connect(ScrPosFrame->SpinEditLeft, &TIntSpinEdit::Changed, this, [this] { TScrPosFrameSpinEditLeftChange(); });
    connect(ScrPosFrame->SpinEditHeight, &TIntSpinEdit::Changed, this, [this] { TScrPosFrameSpinEditHeightChange(); });
    connect(ScrPosFrame->SpinEditWidth, &TIntSpinEdit::Changed, this, [this] { TScrPosFrameSpinEditWidthChange(); });
    const std::pair<QPushButton *, void (TSettingsForm::*)()> clicks[] = {
        { SetDefaultScreenBtn, &TSettingsForm::SetDefaultScreenBtnClick },
        { SetAlomstFullScreenBtn, &TSettingsForm::SetAlomstFullScreenBtnClick },
        { MainFormSettingsToListBoxBtn, &TSettingsForm::MainFormSettingsToListBoxBtnClick },
        { MainFormPosSettingsToFormBtn, &TSettingsForm::MainFormPosSettingsToFormBtnClick },
        { MainFormSizeSettingsToFormBtn, &TSettingsForm::MainFormSizeSettingsToFormBtnClick },
        { MainFormSettingsToFormBtn, &TSettingsForm::MainFormSettingsToFormBtnClick },
        { DeleteListBoxItemBtn, &TSettingsForm::DeleteListBoxItemBtnClick },
    };
    for (auto [button, handler] : clicks)
        connect(button, &QPushButton::clicked, this,
            [this, handler] { runGuarded([this, handler] { (this->*handler)(); }); });
    connect(MainFormSettingsListBox, &QListWidget::itemChanged, this, [this] {
        if (!m_fillingPresets)
            runGuarded([this] { MainFormSettingsListBoxClickCheck(); });
    });
    return page;
}

QWidget *TSettingsForm::createDirectoriesPage()
{
    auto *page = named(new QWidget, "JvStandardPageDirectories");
    auto *v = new QVBoxLayout(page);
    struct Group
    {
        const char *caption, *prefix;
        QLabel **label;
        QPushButton **copy, **open;
        TBalloonHint **hint;
    };
    const Group groups[] = {
        { "DtaDir", "DtaDir", &DtaDirLbl, &DtaDirCopyToClpBrdBtn, &DtaDirOpenInExplorerBtn, &DtaDirJvBalloonHint },
        { "LstDir", "LstDir", &LstDirLbl, &LstDirCopyToClpBrdBtn, &LstDirOpenInExplorerBtn, &LstDirJvBalloonHint },
        { "SsnDir", "SsnDir", &SsnDirLbl, &SsnDirCopyToClpBrdBtn, &SsnDirOpenInExplorerBtn, &SsnDirJvBalloonHint },
        { "TmpDir", "TmpDir", &TmpDirLbl, &TmpDirCopyToClpBrdBtn, &TmpDirOpenInExplorerBtn, &TmpDirJvBalloonHint },
    };
    for (const Group &gr : groups) {
        const QString prefix = QString::fromLatin1(gr.prefix);
        auto *box = new QGroupBox(QString::fromLatin1(gr.caption), page);
        box->setObjectName(prefix + QStringLiteral("GroupBox"));
        auto *g = new QVBoxLayout(box);
        g->setContentsMargins(4, 2, 4, 2);
        g->setSpacing(2);
        *gr.label = new QLabel(box);
        (*gr.label)->setObjectName(prefix + QStringLiteral("Lbl"));
        (*gr.label)->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto *row = new QHBoxLayout;
        *gr.copy = new QPushButton(QStringLiteral("Copy to Clipboard"), box);
        (*gr.copy)->setObjectName(prefix + QStringLiteral("CopyToClpBrdBtn"));
        *gr.open = new QPushButton(QStringLiteral("Open in Explorer"), box);
        (*gr.open)->setObjectName(prefix + QStringLiteral("OpenInExplorerBtn"));
        (*gr.copy)->setAutoDefault(false);
        (*gr.open)->setAutoDefault(false);
        *gr.hint = new TBalloonHint(box);
        (*gr.hint)->setObjectName(prefix + QStringLiteral("JvBalloonHint"));
        row->addWidget(*gr.copy);
        row->addWidget(*gr.open);
        row->addStretch(1);
        g->addWidget(*gr.label);
        g->addLayout(row);
        v->addWidget(box);
    }
    v->addStretch(1);

    connect(DtaDirCopyToClpBrdBtn, &QPushButton::clicked, this,
        [this] { copyDirectory(DtaDirCopyToClpBrdBtn, DtaDirJvBalloonHint, m_main->GetDtaDir()); });
    connect(SsnDirCopyToClpBrdBtn, &QPushButton::clicked, this,
        [this] { copyDirectory(SsnDirCopyToClpBrdBtn, SsnDirJvBalloonHint, m_main->GetSsnDir()); });
    connect(TmpDirCopyToClpBrdBtn, &QPushButton::clicked, this,
        [this] { copyDirectory(TmpDirCopyToClpBrdBtn, TmpDirJvBalloonHint, m_main->GetTmpDir()); });
    // LstDir's path is copied by a right click; its left click does nothing.
    LstDirCopyToClpBrdBtn->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(LstDirCopyToClpBrdBtn, &QWidget::customContextMenuRequested, this,
        [this] { copyDirectory(LstDirCopyToClpBrdBtn, LstDirJvBalloonHint, m_main->GetLstDir()); });
    connect(
        DtaDirOpenInExplorerBtn, &QPushButton::clicked, this, [this] { m_main->OpenInExplorer(m_main->GetDtaDir()); });
    connect(
        LstDirOpenInExplorerBtn, &QPushButton::clicked, this, [this] { m_main->OpenInExplorer(m_main->GetLstDir()); });
    connect(
        SsnDirOpenInExplorerBtn, &QPushButton::clicked, this, [this] { m_main->OpenInExplorer(m_main->GetSsnDir()); });
    connect(
        TmpDirOpenInExplorerBtn, &QPushButton::clicked, this, [this] { m_main->OpenInExplorer(m_main->GetTmpDir()); });
    return page;
}

QWidget *TSettingsForm::createMiscPage()
{
    auto *page = named(new QWidget, "JvStandardPageMisc");
    auto *v = new QVBoxLayout(page);
    AutoStartPingingCheckBox
        = named(new QCheckBox(QStringLiteral("AutoStart Pinging"), page), "AutoStartPingingCheckBox");
    StartTimeoutPnlVisibleCheckBox
        = named(new QCheckBox(QStringLiteral("Start Timeout Panel Visible"), page), "StartTimeoutPnlVisibleCheckBox");
    auto *paste = named(new QGroupBox(QStringLiteral("Paste to Host List"), page), "PasteToHostListGroupBox");
    auto *pv = new QVBoxLayout(paste);
    ConvertToLCCheckBox = named(new QCheckBox(QStringLiteral("Convert to lowercase"), paste), "ConvertToLCCheckBox");
    ConvertToUCCheckBox = named(new QCheckBox(QStringLiteral("Convert to UPPERCASE"), paste), "ConvertToUCCheckBox");
    pv->addWidget(ConvertToLCCheckBox);
    pv->addWidget(ConvertToUCCheckBox);
    PauseForRemoveFrameCheckBox
        = named(new QCheckBox(QStringLiteral("Pause For Remove Frame"), page), "PauseForRemoveFrameCheckBox");
    v->addWidget(AutoStartPingingCheckBox);
    v->addWidget(StartTimeoutPnlVisibleCheckBox);
    v->addWidget(paste);
    v->addWidget(PauseForRemoveFrameCheckBox);
    NotifyHostDownUpCheckBox = named(
        new QCheckBox(QStringLiteral("&Notify when a host goes down or comes back"), page), "NotifyHostDownUpCheckBox");
    LogResultsCheckBox = named(new QCheckBox(QStringLiteral("&Log results"), page), "LogResultsCheckBox");
    NotifyServiceLbl
        = named(new QLabel(QStringLiteral("(no notification service on the session bus)"), page), "NotifyServiceLbl");
    NotifyServiceLbl->hide();
    auto *notifyRow = new QHBoxLayout;
    notifyRow->addWidget(NotifyHostDownUpCheckBox);
    notifyRow->addWidget(NotifyServiceLbl, 1);
    v->addLayout(notifyRow);
    v->addWidget(LogResultsCheckBox);
    auto *health = named(new QGroupBox(QStringLiteral("Host health"), page), "HostHealthGroupBox");
    auto *hv = new QGridLayout(health);
    const auto spin = [health](const char *name, int low, int high, const QString &suffix) {
        auto *box = named(new QSpinBox(health), name);
        box->setRange(low, high);
        box->setSuffix(suffix);
        return box;
    };
    SlowSpinBox = spin("SlowSpinBox", 1, 60000, QStringLiteral(" ms"));
    LossSpinBox = spin("LossSpinBox", 0, 100, QStringLiteral(" %"));
    DampingSpinBox = spin("DampingSpinBox", 1, 100, QStringLiteral(" results"));
    ChangeHookEdit = named(new QLineEdit(health), "ChangeHookEdit");
    ChangeHookEdit->setPlaceholderText(QStringLiteral("none, e.g. /usr/local/bin/page-me --urgent"));
    ChangeHookEdit->setMaxLength(kMaxSettingText);
    const std::pair<const char *, QWidget *> rows[]
        = { { "&Slow when the median RTT is above", SlowSpinBox }, { "Losing &echoes when more than", LossSpinBox },
              { "&Announce a change once held for", DampingSpinBox }, { "&Run at each change", ChangeHookEdit } };
    for (int r = 0; r < int(std::size(rows)); ++r) {
        auto *label = new QLabel(QString::fromUtf8(rows[r].first), health);
        label->setBuddy(rows[r].second);
        hv->addWidget(label, r, 0);
        hv->addWidget(rows[r].second, r, 1);
    }
    v->addWidget(health);
    auto *metricsRow = new QHBoxLayout;
    MetricsAddressEdit = named(new QLineEdit(page), "MetricsAddressEdit");
    MetricsAddressEdit->setPlaceholderText(QStringLiteral("off, e.g. 127.0.0.1:9427"));
    MetricsAddressEdit->setMaxLength(64);
    auto *metricsLbl = named(new QLabel(QStringLiteral("Serve &metrics at"), page), "MetricsAddressLbl");
    metricsLbl->setBuddy(MetricsAddressEdit);
    metricsRow->addWidget(metricsLbl);
    metricsRow->addWidget(MetricsAddressEdit, 1);
    v->addLayout(metricsRow);
    v->addStretch(1);

    connect(AutoStartPingingCheckBox, &QCheckBox::toggled, this,
        [this](bool on) { m_main->Settings->set(&TAppSettings::AutoStartPinging, on); });
    connect(StartTimeoutPnlVisibleCheckBox, &QCheckBox::toggled, this,
        [this](bool on) { m_main->Settings->set(&TAppSettings::StartTimeoutPnlVisible, on); });
    connect(PauseForRemoveFrameCheckBox, &QCheckBox::toggled, this,
        [this](bool on) { m_main->Settings->set(&TAppSettings::PauseForRemoveFrame, on); });
    connect(NotifyHostDownUpCheckBox, &QCheckBox::toggled, this,
        [this](bool on) { m_main->Settings->set(&TAppSettings::NotifyHostDownUp, on); });
    connect(LogResultsCheckBox, &QCheckBox::toggled, this,
        [this](bool on) { m_main->Settings->set(&TAppSettings::LogResults, on); });
    connect(MetricsAddressEdit, &QLineEdit::editingFinished, this, [this] {
        const QString address = MetricsAddressEdit->text().trimmed();
        if (address == m_main->AppSettings.MetricsAddress && m_main->StartMetricsAddress.isEmpty())
            return;
        m_main->Settings->set(&TAppSettings::MetricsAddress, address);
        m_main->StartMetricsAddress.clear();
        m_main->ApplyMetricsAddress();
    });
    connect(
        SlowSpinBox, &QSpinBox::valueChanged, this, [this](int v) { m_main->Settings->set(&TAppSettings::SlowMs, v); });
    connect(LossSpinBox, &QSpinBox::valueChanged, this,
        [this](int v) { m_main->Settings->set(&TAppSettings::LossPercent, v); });
    connect(DampingSpinBox, &QSpinBox::valueChanged, this,
        [this](int v) { m_main->Settings->set(&TAppSettings::Damping, v); });
    connect(ChangeHookEdit, &QLineEdit::editingFinished, this,
        [this] { m_main->Settings->set(&TAppSettings::ChangeHook, ChangeHookEdit->text().trimmed()); });
    connect(ConvertToLCCheckBox, &QCheckBox::toggled, this, [this] { ConvertToLCCheckBoxClick(); });
    connect(ConvertToUCCheckBox, &QCheckBox::toggled, this, [this] { ConvertToUCCheckBoxClick(); });
    return page;
}

// --- Pages and showing ---------------------------------------------------------------

void TSettingsForm::SetCurrentPage(int index)
{
    if (index >= 0 && index < JvPageList->count()) {
        m_page = index;
        JvPageList->setCurrentIndex(index);
        JvPageList->show();
    } else {
        m_page = -1;
        JvPageList->hide();
    }
}

void TSettingsForm::Execute()
{
    // Each box's change runs its handler, which writes the setting back: each box reads its
    // setting when its turn comes, and the order matters when both case conversions are on.
    const TAppSettings &s = m_main->AppSettings;
    for (auto [box, setting] : settingBoxes())
        box->setChecked(s.*setting);
    StylesListBox->setEnabled(s.StylesEnabled);
    MetricsAddressEdit->setText(s.MetricsAddress);
    SlowSpinBox->setValue(s.SlowMs);
    LossSpinBox->setValue(s.LossPercent);
    DampingSpinBox->setValue(s.Damping);
    ChangeHookEdit->setText(s.ChangeHook);
    {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        NotifyServiceLbl->setVisible(!bus.isConnected() || !bus.interface()
            || !bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")).value());
    }

    // Both windows by their outer geometry, frames included.
    const QRect work = WorkArea();
    const QRect mainRect = m_main->frameGeometry();
    if (const auto at = SettingsRules::dialogPosition(mainRect, size() + TMainForm::FrameExtra(this), work.size()))
        move(*at);
    else
        move(work.center() - QPoint(width() / 2, height() / 2));

    if (MainFormSettingsListBox->count() > 0)
        MainFormSettingsListBox->setCurrentRow(0);

    show();
    raise();
    activateWindow();
}

QRect TSettingsForm::WorkArea() const
{
    QScreen *screen = QGuiApplication::screenAt(m_main->frameGeometry().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void TSettingsForm::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TSettingsForm::FormActivate()
{
    UpdateScrPosEdits();
}

// --- Check boxes -------------------------------------------------------------------------

void TSettingsForm::ConvertToLCCheckBoxClick()
{
    if (ConvertToLCCheckBox->isChecked()) {
        m_main->Settings->edit([](TAppSettings &s) {
            s.ConvertToLC = true;
            s.ConvertToUC = false;
        });
        ConvertToUCCheckBox->setChecked(false);
    } else {
        m_main->Settings->set(&TAppSettings::ConvertToLC, false);
    }
}

void TSettingsForm::ConvertToUCCheckBoxClick()
{
    if (ConvertToUCCheckBox->isChecked()) {
        m_main->Settings->edit([](TAppSettings &s) {
            s.ConvertToUC = true;
            s.ConvertToLC = false;
        });
        ConvertToLCCheckBox->setChecked(false);
    } else {
        m_main->Settings->set(&TAppSettings::ConvertToUC, false);
    }
}

void TSettingsForm::StylesMMCheckBoxClick()
{
    m_main->Settings->set(&TAppSettings::StylesMM, StylesMMCheckBox->isChecked());
    m_main->mmiStyles->menuAction()->setVisible(m_main->AppSettings.StylesMM);
    m_main->RightMenu(m_main->mmiVersionAbout);
}

void TSettingsForm::EnableStylesSettingsCheckBoxClick()
{
    StylesListBox->setEnabled(EnableStylesSettingsCheckBox->isChecked());
    m_main->Settings->set(&TAppSettings::StylesEnabled, EnableStylesSettingsCheckBox->isChecked());
}

void TSettingsForm::StylesListBoxClick()
{
    QListWidgetItem *item = StylesListBox->currentItem();
    if (!item)
        return;
    m_main->Settings->set(&TAppSettings::Style, item->text());
    SkylarkStyles::applyWithMessage(m_main->AppSettings.Style);
}

void TSettingsForm::FillStylesList(const QStringList &names)
{
    m_selectingStyle = true;
    StylesListBox->clear();
    StylesListBox->addItems(names);
    StylesListBox->sortItems();
    m_selectingStyle = false;
}

void TSettingsForm::SelectStyleEntry(const QString &name)
{
    m_selectingStyle = true;
    StylesListBox->setCurrentRow(-1);
    for (int i = 0; i < StylesListBox->count(); ++i)
        if (StylesListBox->item(i)->text() == name) {
            StylesListBox->setCurrentRow(i);
            break;
        }
    m_selectingStyle = false;
}

// --- Geometry ----------------------------------------------------------------------------

// The edits hold the main window's outer geometry; what they ask for is limited to what the
// screens show (TMainForm::SetOuterGeometry).
PresetText::Geometry TSettingsForm::SetFormTop(int v)
{
    PresetText::Geometry g = m_main->OuterGeometry();
    g.top = v;
    return m_main->SetOuterGeometry(g);
}

PresetText::Geometry TSettingsForm::SetFormLeft(int v)
{
    PresetText::Geometry g = m_main->OuterGeometry();
    g.left = v;
    return m_main->SetOuterGeometry(g);
}

PresetText::Geometry TSettingsForm::SetFormHeight(int v)
{
    PresetText::Geometry g = m_main->OuterGeometry();
    g.height = v;
    return m_main->SetOuterGeometry(g);
}

PresetText::Geometry TSettingsForm::SetFormWidth(int v)
{
    PresetText::Geometry g = m_main->OuterGeometry();
    g.width = v;
    return m_main->SetOuterGeometry(g);
}

void TSettingsForm::TScrPosFrameSpinEditTopChange()
{
    if (!m_updatingEdits)
        applyEdit(ScrPosFrame->SpinEditTop, &TSettingsForm::SetFormTop);
}

void TSettingsForm::TScrPosFrameSpinEditLeftChange()
{
    if (!m_updatingEdits)
        applyEdit(ScrPosFrame->SpinEditLeft, &TSettingsForm::SetFormLeft);
}

void TSettingsForm::TScrPosFrameSpinEditHeightChange()
{
    if (!m_updatingEdits)
        applyEdit(ScrPosFrame->SpinEditHeight, &TSettingsForm::SetFormHeight);
}

void TSettingsForm::TScrPosFrameSpinEditWidthChange()
{
    if (!m_updatingEdits)
        applyEdit(ScrPosFrame->SpinEditWidth, &TSettingsForm::SetFormWidth);
}

void TSettingsForm::applyEdit(TIntSpinEdit *edit, PresetText::Geometry (TSettingsForm::*set)(int))
{
    // The window may be given other than was asked (it is kept on the screens): the edits
    // show what it was given, so that they and the window agree.
    showGeometry((this->*set)(edit->Value()));
}

void TSettingsForm::showGeometry(const PresetText::Geometry &g)
{
    // The window's own moves come back here; the edits follow them without moving it again.
    if (m_updatingEdits)
        return;
    m_updatingEdits = true;
    for (auto [edit, value] :
        { std::pair { ScrPosFrame->SpinEditTop, g.top }, std::pair { ScrPosFrame->SpinEditLeft, g.left },
            std::pair { ScrPosFrame->SpinEditHeight, g.height }, std::pair { ScrPosFrame->SpinEditWidth, g.width } })
        if (!edit->Typing())
            edit->SetValue(value);
    m_updatingEdits = false;
}

void TSettingsForm::UpdateScrPosEdits()
{
    showGeometry(m_main->OuterGeometry());
}

void TSettingsForm::SetDefaultScreenBtnClick()
{
    const TAppSettings &s = m_main->AppSettings;
    SetFormTop(s.DefaultTop);
    SetFormLeft(s.DefaultLeft);
    SetFormHeight(s.DefaultHeight);
    SetFormWidth(s.DefaultWidth);
    m_main->UpdateScrPosEdits();
}

void TSettingsForm::SetAlomstFullScreenBtnClick()
{
    QScreen *primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    const PresetText::Geometry g = SettingsRules::almostFullScreen(primary->availableGeometry().size());
    SetFormTop(g.top);
    SetFormLeft(g.left);
    SetFormHeight(g.height);
    SetFormWidth(g.width);
    m_main->UpdateScrPosEdits();
}

// --- Presets -----------------------------------------------------------------------------

QList<ScreenPresetEntry> TSettingsForm::Presets() const
{
    QList<ScreenPresetEntry> list;
    for (int i = 0; i < MainFormSettingsListBox->count(); ++i) {
        const QListWidgetItem *item = MainFormSettingsListBox->item(i);
        list.append({ item->text(), item->checkState() == Qt::Checked });
    }
    return list;
}

void TSettingsForm::SetPresets(const QList<ScreenPresetEntry> &presets)
{
    m_fillingPresets = true;
    MainFormSettingsListBox->clear();
    for (const ScreenPresetEntry &e : presets) {
        auto *item = new QListWidgetItem(e.text, MainFormSettingsListBox);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(e.checked ? Qt::Checked : Qt::Unchecked);
    }
    m_fillingPresets = false;
}

void TSettingsForm::MainFormSettingsToListBoxBtnClick()
{
    const QString text = PresetText::compose(ScrPosFrame->SpinEditTop->Value(), ScrPosFrame->SpinEditLeft->Value(),
        ScrPosFrame->SpinEditHeight->Value(), ScrPosFrame->SpinEditWidth->Value());
    for (int i = 0; i < MainFormSettingsListBox->count(); ++i)
        if (MainFormSettingsListBox->item(i)->text() == text)
            return;
    m_fillingPresets = true;
    auto *item = new QListWidgetItem(text, MainFormSettingsListBox);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    m_fillingPresets = false;
}

void TSettingsForm::PresetToScrPosEdits(bool pos, bool size)
{
    QListWidgetItem *item = MainFormSettingsListBox->currentItem();
    if (!item || !item->isSelected())
        return;
    const auto g = PresetText::parse(item->text());
    if (!g)
        return;
    if (pos) {
        ScrPosFrame->SpinEditTop->SetValue(g->top);
        ScrPosFrame->SpinEditLeft->SetValue(g->left);
    }
    if (size) {
        ScrPosFrame->SpinEditHeight->SetValue(g->height);
        ScrPosFrame->SpinEditWidth->SetValue(g->width);
    }
}

void TSettingsForm::DeleteListBoxItemBtnClick()
{
    const int index = MainFormSettingsListBox->currentRow();
    QListWidgetItem *item = MainFormSettingsListBox->currentItem();
    if (index < 0 || !item || !item->isSelected())
        return;
    const bool wasChecked = item->checkState() == Qt::Checked;
    m_fillingPresets = true;
    delete MainFormSettingsListBox->takeItem(index);
    m_fillingPresets = false;
    const int next = SettingsRules::selectionAfterDelete(index, MainFormSettingsListBox->count());
    MainFormSettingsListBox->setCurrentRow(next);
    if (wasChecked)
        m_main->PopulateScreenPresetsMenu();
}

void TSettingsForm::MainFormSettingsListBoxClickCheck()
{
    m_main->PopulateScreenPresetsMenu();
}

void TSettingsForm::copyDirectory(QPushButton *button, TBalloonHint *hint, const QString &dir)
{
    QApplication::clipboard()->setText(dir);
    hint->ActivateHint(button, dir, QStringLiteral("(Copied to clipboard)"), kHintMs);
}
