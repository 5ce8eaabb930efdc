// List files: loading and saving the host list through the file chooser and the shared open
// and save dialogs, and the recent-files entries of the File menu that load them again.
#include "mainform.h"

#include "chooserrules.h"
#include "listfile.h"
#include "mostrecentfiles.h"
#include "selectfiledlg.h"
#include "selectfileframe.h"

#include <QAction>
#include <QCompleter>
#include <QEvent>
#include <QAbstractItemView>
#include <QPointer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>

namespace {

// Keeps the file name's completion list from showing once its dialog has closed: the list
// completes when the folder has been read, which may be after Enter closed the dialog, and
// would then stand over the board.
class CompleterPopupGuard : public QObject
{
public:
    CompleterPopupGuard(QFileDialog *dialog, QWidget *popup)
        : QObject(dialog)
        , m_dialog(dialog)
        , m_popup(popup)
    {
        popup->installEventFilter(this);
        connect(dialog, &QDialog::finished, this, [this] { m_popup->hide(); });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_popup && event->type() == QEvent::Show && !m_dialog->isVisible())
            QMetaObject::invokeMethod(m_popup, &QWidget::hide, Qt::QueuedConnection);
        return false;
    }

private:
    QFileDialog *m_dialog;
    QPointer<QWidget> m_popup;
};

QFileDialog *makeFileDialog(QWidget *parent, const char *name, QFileDialog::AcceptMode mode, const QStringList &filters)
{
    auto *dlg = new QFileDialog(parent);
    dlg->setObjectName(QString::fromLatin1(name));
    dlg->setOption(QFileDialog::DontUseNativeDialog);
    dlg->setAcceptMode(mode);
    // A name to open must be a file that is there: a mistyped one would read as an empty
    // session and clear the board. Replacing a file is asked about by the save commands
    // themselves, once they know the name really written (with its extension).
    dlg->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dlg->setOption(QFileDialog::DontConfirmOverwrite);
    for (QCompleter *completer : dlg->findChildren<QCompleter *>())
        new CompleterPopupGuard(dlg, completer->popup());
    // Set once: setting them again makes a save dialog give the name in its edit the first
    // filter's extension, so the name last chosen would not be proposed as it was.
    dlg->setNameFilters(filters);
    return dlg;
}
} // namespace

void TMainForm::wireListFileCommands()
{
    OpenDialog = makeFileDialog(this, "OpenDialog", QFileDialog::AcceptOpen, TextFileFilters());
    SaveDialog = makeFileDialog(this, "SaveDialog", QFileDialog::AcceptSave, TextFileFilters());

    MostRecentFiles = new TMostRecentFiles(this);
    MostRecentFiles->setObjectName(QStringLiteral("MostRecentFiles"));
    MostRecentFiles->SetMaxFiles(8);
    MostRecentFiles->SetShowFullPath(true);
    MostRecentFiles->SetOwnerMenuItem(mmiFile);
    MostRecentFiles->SetMenuPosition(3);
    MostRecentFiles->OnMenuClick
        = [this](QAction *sender, const QString &filename) { MostRecentFilesMenuClick(sender, filename); };
    MostRecentFiles->Loaded();

    connectGuarded(aSelectListFile, &TMainForm::aSelectListFileExecute);
    connectGuarded(aLoadListFile, &TMainForm::aLoadListFileExecute);
    connectGuarded(aSaveListFile, &TMainForm::aSaveListFileExecute);
}

bool TMainForm::ConfirmReplaceFile(const QString &fileName)
{
    QMessageBox box(QMessageBox::Warning, SaveDialog->windowTitle(),
        QStringLiteral("\"%1\" already exists.\nDo you want to replace it?").arg(fileName),
        QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("ReplaceFileBox"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

// Shows the save dialog until the user cancels (empty result) or picks a name whose file
// may be written: nameWritten(chosen) is the name the file really gets, and replacing an
// existing file of that name is asked about first (No shows the dialog again).
QString TMainForm::AskSaveFileName(const std::function<QString(const QString &)> &nameWritten)
{
    for (;;) {
        if (SaveDialog->exec() != QDialog::Accepted || SaveDialog->selectedFiles().isEmpty())
            return QString();
        const QString name = nameWritten(SaveDialog->selectedFiles().constFirst());
        const QFileInfo file(name);
        // No: back to the dialog, as its own question would have done.
        if ((!file.exists() && !file.isSymLink()) || ConfirmReplaceFile(name))
            return name;
    }
}

// Replaces the host list by the file's lines and records the file as the most recent;
// a file that does not exist changes nothing.
void TMainForm::LoadListFile(const QString &name)
{
    if (!QFileInfo::exists(name))
        return;
    // Read first: a file that cannot be read (a folder, a FIFO, a device, a file too large to
    // be a list) says so and leaves the list as it was.
    const ListFile::Contents contents = ListFile::read(name);
    HostListEncoding = contents.encoding;
    HostListLineEnds = contents.lineEnds;
    SetHostLines(contents.lines);
    MostRecentFiles->AddFile(name);
}

// Qt's own dialog matches these patterns without regard to case, so "*.txt" lists "X.TXT";
// "*" also lists names without an extension. The pattern is in small letters because a save
// dialog gives a name the extension of the filter the user picks, and a list or session saved
// as "hosts.TXT" would be a second file beside "hosts.txt".
QStringList TMainForm::TextFileFilters()
{
    return { QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)") };
}

void TMainForm::ChooseTextFile(const QString &dir, const std::function<void(const QString &)> &load)
{
    if (!SelectFileDlg)
        return;
    TSelectFileFrame *frame = SelectFileDlg->SelectFileFrame;
    frame->SetFileListPath(dir);
    frame->SetFileListMask(QStringLiteral("*.txt"));
    frame->LoadFileList();
    if (SelectFileDlg->exec() != QDialog::Accepted)
        return;
    const ChooserRules::Pick pick = ChooserRules::parsePick(SelectFileDlg->FileName());
    if (pick.action == ChooserRules::Pick::Load)
        load(pick.path);
    else if (pick.action == ChooserRules::Pick::Edit)
        OpenInExplorer(pick.path); // the desktop's program for the file
}

void TMainForm::aSelectListFileExecute()
{
    ChooseTextFile(LstDir, [this](const QString &path) { LoadListFile(path); });
}

void TMainForm::aLoadListFileExecute()
{
    OpenDialog->setDirectory(LstDir);
    if (OpenDialog->exec() != QDialog::Accepted || OpenDialog->selectedFiles().isEmpty())
        return;
    LoadListFile(OpenDialog->selectedFiles().constFirst());
}

void TMainForm::aSaveListFileExecute()
{
    SaveDialog->setDirectory(LstDir);
    const QString name = AskSaveFileName(ListFile::withDefaultExtension);
    if (!name.isEmpty())
        ListFile::write(name, HostLines(), HostListEncoding, HostListLineEnds);
}

void TMainForm::MostRecentFilesMenuClick(QAction *, const QString &filename)
{
    LoadListFile(filename);
}
