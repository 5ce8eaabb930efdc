// The host list: typing, pasting, copying, deleting and case-mapping host names, editing
// them as text, turning the selected ones into running frames, and the autosaved list.
#include "mainform.h"

#include "frameboard.h"

#include "hlbeditmemodlg.h"
#include "hostlistbox.h"
#include "listfile.h"
#include "pingframe.h"
#include "popupmenu.h"
#include "skylarkerror.h"
#include "textrules.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QToolButton>

void TMainForm::wireHostListCommands()
{
    AddNewHostSpeedButton->setDefaultAction(aAddNewHost);
    auto guarded = [this](QAction *a, void (TMainForm::*op)()) { connectGuarded(a, op); };
    guarded(aAddNewHost, &TMainForm::AddNewHost);
    guarded(aPasteFromClipboard, &TMainForm::PasteFromClipboard);
    guarded(aCopyToClipboard, &TMainForm::CopySelectedHosts);
    guarded(aDeleteSelectedHost, &TMainForm::aDeleteSelectedHostExecute);
    guarded(aSelectAll, &TMainForm::SelectAllHosts);
    guarded(aLowerCase, &TMainForm::aLowerCaseExecute);
    guarded(aUpperCase, &TMainForm::aUpperCaseExecute);
    guarded(aHLBEditMemo, &TMainForm::aHLBEditMemoExecute);
    connectBoardCommand(aPingSelected, &TMainForm::PingSelectedHosts);
    connectBoardCommand(aPingSelectedWithExpand, &TMainForm::PingSelectedHostsWithExpand);
    connectBoardCommand(aPingSelected2, &TMainForm::PingSelectedHosts2);

    QAbstractItemModel *model = HostListBox->model();
    auto changed = [this] { m_hostListChanged = true; };
    connect(model, &QAbstractItemModel::rowsInserted, this, changed);
    connect(model, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(model, &QAbstractItemModel::rowsMoved, this, changed);
    connect(model, &QAbstractItemModel::dataChanged, this, changed);
    connect(model, &QAbstractItemModel::modelReset, this, changed);
    connect(model, &QAbstractItemModel::layoutChanged, this, changed);

    HostListBox->PopupMenu = HostListBoxPopupMenu;
    HostListBox->OnDeleteKey = [this] { DeleteSelectedHosts(); };
    HostListBox->OnSelectAllKey = [this] { SelectAllHosts(); };
    HostListBox->OnCopyKey = [this] { CopySelectedHosts(); };
    HostListBox->OnDblClick = [this] { runBoardCommand([this] { PingSelectedHosts(); }); };
}

QStringList TMainForm::HostLines() const
{
    return HostListBox->Entries();
}

void TMainForm::SetHostLines(const QStringList &lines)
{
    HostListBox->SetEntries(lines);
}

void TMainForm::AddNewHost()
{
    const QString host = TextRules::trimmed(NewHostEdit->text());
    if (host.isEmpty())
        return;
    HostListBox->addItem(host);
    NewHostEdit->clear();
}

void TMainForm::PasteFromClipboard()
{
    const QStringList lines = TextRules::textToLines(QApplication::clipboard()->text());
    QStringList add;
    for (const QString &line : lines) {
        if (TextRules::trimmed(line).isEmpty())
            continue;
        if (AppSettings.ConvertToLC)
            add.append(TextRules::asciiLower(line));
        else if (AppSettings.ConvertToUC)
            add.append(TextRules::asciiUpper(line));
        else
            add.append(line);
    }
    HostListBox->addItems(add);
}

void TMainForm::CopySelectedHosts()
{
    QStringList selected;
    for (int row : HostListBox->SelectedIndexes())
        selected.append(HostListBox->item(row)->text());
    QString text;
    if (selected.size() >= 2)
        text = TextRules::linesToText(selected);
    else if (selected.size() == 1)
        text = selected.front();
    QApplication::clipboard()->setText(text);
}

void TMainForm::DeleteSelectedHosts()
{
    const QList<int> rows = HostListBox->SelectedIndexes();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        delete HostListBox->takeItem(*it);
}

void TMainForm::aDeleteSelectedHostExecute()
{
    if (HostListBox->ItemIndex() >= 0)
        DeleteSelectedHosts();
}

void TMainForm::SelectAllHosts()
{
    HostListBox->selectAll();
}

void TMainForm::aLowerCaseExecute()
{
    if (QListWidgetItem *it = HostListBox->currentItem())
        it->setText(TextRules::asciiLower(it->text()));
}

void TMainForm::aUpperCaseExecute()
{
    if (QListWidgetItem *it = HostListBox->currentItem())
        it->setText(TextRules::asciiUpper(it->text()));
}

void TMainForm::aHLBEditMemoExecute()
{
    if (!HLBEditMemoDlg)
        return;
    HLBEditMemoDlg->SetLines(HostLines());
    if (HLBEditMemoDlg->exec() != QDialog::Accepted)
        return;
    QStringList kept;
    for (const QString &line : HLBEditMemoDlg->Lines())
        if (!TextRules::trimmed(line).isEmpty())
            kept.append(line);
    SetHostLines(kept);
}

// --- Ping selected hosts -------------------------------------------------------------

void TMainForm::pingSelected(const std::function<void(const QString &)> &add)
{
    const int n = HostListBox->count();
    for (int i = 0; i < n && i < HostListBox->count(); ++i)
        if (HostListBox->item(i)->isSelected())
            add(HostListBox->item(i)->text());
}

void TMainForm::PingSelectedHosts()
{
    pingSelected([this](const QString &h) { AddHostFrame(h, true); });
}

void TMainForm::PingSelectedHostsWithExpand()
{
    pingSelected([this](const QString &h) { AddHostFrameWithExpand(h, true); });
}

void TMainForm::PingSelectedHosts2()
{
    pingSelected([this](const QString &h) { AddHostFrame2(h, true); });
}

void TMainForm::AddHostFrame(const QString &host, bool start)
{
    Board->addFrame(1, &host, start);
}

void TMainForm::AddHostFrameWithExpand(const QString &host, bool start)
{
    // Laid out once, after the window has grown by the new frame's designed height.
    Board->SetLayoutDeferred(true);
    TPingFrame *f = Board->addFrame(1, &host, false);
    Board->SetLayoutDeferred(false);
    SizeFramesWithExpand();
    if (start && !host.isEmpty())
        Board->startFrame(f);
}

void TMainForm::AddHostFrame2(const QString &host, bool start)
{
    Board->addFrame(2, &host, start);
}

// --- The autosaved list --------------------------------------------------------------

void TMainForm::LoadAutoSaveList()
{
    const QString file = LstDir + QStringLiteral("AutoSaveList.txt");
    m_hostListChanged = false;
    // A link that leads nowhere, or in a loop, is there all the same: it is said at once, and
    // kept.
    if (!QFileInfo::exists(file) && !QFileInfo(file).isSymLink())
        return;
    m_autoSaveListUnread = true;
    const ListFile::Contents c = ListFile::read(file);
    HostListEncoding = c.encoding;
    HostListLineEnds = c.lineEnds;
    SetHostLines(c.lines);
    m_autoSaveListUnread = false;
    m_hostListChanged = false;
}

void TMainForm::SaveAutoSaveList()
{
    // A list we could not read is still the user's: an empty one must not replace it.
    if (m_autoSaveListUnread && !m_hostListChanged)
        return;
    QDir().mkpath(LstDir); // a folder that could not be made at start-up may be possible now
    ListFile::write(LstDir + QStringLiteral("AutoSaveList.txt"), HostLines(), HostListEncoding, HostListLineEnds);
}
