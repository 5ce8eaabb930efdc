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

QFileDialog *makeFileDialog(QWidget *parent, const char *name, QFileDialog::AcceptMode mode)
{
    auto *dlg = new QFileDialog(parent);
    dlg->setObjectName(QString::fromLatin1(name));
    dlg->setOption(QFileDialog::DontUseNativeDialog);
    dlg->setAcceptMode(mode);
    // A typed name need not exist (the command decides what that means), and nobody is
    // asked before a file is replaced until a session save turns the question on.
    dlg->setFileMode(QFileDialog::AnyFile);
    dlg->setOption(QFileDialog::DontConfirmOverwrite);
    for (QCompleter *completer : dlg->findChildren<QCompleter *>())
        new CompleterPopupGuard(dlg, completer->popup());
    return dlg;
}
} // namespace

void TMainForm::wireListFileCommands()
{
    OpenDialog = makeFileDialog(this, "OpenDialog", QFileDialog::AcceptOpen);
    SaveDialog = makeFileDialog(this, "SaveDialog", QFileDialog::AcceptSave);

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

void TMainForm::EnableSaveOverwritePrompt()
{
    SaveDialog->setOption(QFileDialog::DontConfirmOverwrite, false);
}

void TMainForm::LoadListFile(const QString &name)
{
    const QFileInfo file(name);
    if (!file.exists() || file.isDir())
        return;
    // Read first: a file that cannot be read leaves the list as it was.
    const ListFile::Contents contents = ListFile::read(name);
    HostListEncoding = contents.encoding;
    SetHostLines(contents.lines);
    MostRecentFiles->AddFile(name);
}

// Qt's own dialog matches these patterns without regard to case, so "*.TXT" lists "x.txt";
// "*" also lists names without an extension.
QStringList TMainForm::TextFileFilters()
{
    return {QStringLiteral("Text Files (*.TXT)"), QStringLiteral("All Files (*)")};
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
        OpenInExplorer(pick.path);  // the desktop's program for the file
}

void TMainForm::aSelectListFileExecute()
{
    ChooseTextFile(LstDir, [this](const QString &path) { LoadListFile(path); });
}

void TMainForm::aLoadListFileExecute()
{
    OpenDialog->setDirectory(LstDir);
    OpenDialog->setNameFilters(TextFileFilters());
    if (OpenDialog->exec() != QDialog::Accepted || OpenDialog->selectedFiles().isEmpty())
        return;
    LoadListFile(OpenDialog->selectedFiles().constFirst());
}

void TMainForm::aSaveListFileExecute()
{
    SaveDialog->setDirectory(LstDir);
    SaveDialog->setNameFilters(TextFileFilters());
    if (SaveDialog->exec() != QDialog::Accepted || SaveDialog->selectedFiles().isEmpty())
        return;
    ListFile::write(
        ListFile::withDefaultExtension(SaveDialog->selectedFiles().constFirst()), HostLines(), HostListEncoding);
}

void TMainForm::MostRecentFilesMenuClick(QAction *, const QString &filename)
{
    LoadListFile(filename);
}
