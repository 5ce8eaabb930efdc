// Sessions: the board and the window's geometry saved to a file and rebuilt from it, and the
// autosaved session kept across runs when AutoStartPinging is on.
#include "mainform.h"

#include "appclock.h"
#include "boardwait.h"
#include "boundedread.h"
#include "pingframe.h"
#include "presettext.h"
#include "profilefile.h"
#include "sessionfile.h"
#include "skylarkerror.h"
#include "splitterbar.h"

#include <QAction>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>

namespace {
SessionFile::Frame recordOf(const TPingFrame *f)
{
    SessionFile::Frame r;
    r.host = f->HostEdit->text();
    r.points = f->SpinEdit->value();
    r.details = f->BottomRightPanel->isVisibleTo(f);
    r.running = f->Running();
    return r;
}
} // namespace

QString TMainForm::AutoSaveSessionName() const
{
    return SsnDir + QStringLiteral("Session_AutoSave.txt");
}

void TMainForm::SaveFrameSession(const QString &fileName)
{
    ProfileFile file(fileName);
    SessionFile::Board board;
    board.preset = PresetText::compose(y(), x(), height(), width());
    board.column2Visible = mmiShow2->isChecked();
    for (const TPingFrame *f : ColumnFrames1)
        board.column1.append(recordOf(f));
    for (const TPingFrame *f : ColumnFrames2)
        board.column2.append(recordOf(f));
    SessionFile::write(file, board);
    file.save();
}

void TMainForm::LoadFrameSession(const QString &fileName)
{
    // Read before anything is cleared: a file that cannot be read leaves the board as it was.
    const ProfileFile file = ProfileFile::load(fileName);
    // The whole load is one board command: nothing else touches the frames meanwhile, not
    // even while the clear below waits for pings.
    BoardWait wait(this);
    ClearAllFrames();
    const SessionFile::Board board = SessionFile::read(file);
    if (const auto g = PresetText::parse(board.preset)) {
        move(x(), g->top);
        move(g->left, y());
        resize(width(), g->height);
        resize(g->width, height());
    }
    mmiShow2->setChecked(board.column2Visible);
    ShowColumn2();

    // A frame that cannot start (an empty host) must not cost the frames after it: every
    // frame is made and started, and the first error is raised at the end.
    QString firstError;
    auto make = [&](const SessionFile::Frame &r, bool column2) {
        if (column2)
            AddPingFrame2();
        else
            AddPingFrame();
        TPingFrame *f = column2 ? ColumnFrames2.back() : ColumnFrames1.back();
        f->HostEdit->setText(r.host);
        f->SpinEdit->setValue(r.points);
        f->BottomRightPanel->setVisible(r.details);
        f->Splitter->setVisible(r.details);
        if (r.running) {
            try {
                startFrame(f);
            } catch (const SkylarkError &e) {
                if (firstError.isEmpty())
                    firstError = e.message();
            }
        }
    };
    for (const SessionFile::Frame &r : board.column1)
        make(r, false);
    for (const SessionFile::Frame &r : board.column2)
        make(r, true);
    if (!firstError.isEmpty())
        throw SkylarkError(firstError);
}

void TMainForm::aSaveFrameSessionExecute()
{
    SaveDialog->setDirectory(SsnDir);
    SaveDialog->selectFile(SessionFile::proposedName(AppClock::now()));
    const QString name = AskSaveFileName(SessionFile::withTxtExtension);
    if (!name.isEmpty())
        SaveFrameSession(name);
}

void TMainForm::aLoadFrameSessionExecute()
{
    OpenDialog->setDirectory(SsnDir);
    if (OpenDialog->exec() != QDialog::Accepted || OpenDialog->selectedFiles().isEmpty())
        return;
    LoadFrameSession(OpenDialog->selectedFiles().constFirst());
}

void TMainForm::aSelectSessionFileExecute()
{
    ChooseTextFile(SsnDir, [this](const QString &path) { LoadFrameSession(path); });
}

void TMainForm::aReloadAutosaveSessionExecute()
{
    if (QFileInfo::exists(AutoSaveSessionName()))
        LoadFrameSession(AutoSaveSessionName());
}

void TMainForm::RestoreAutoSaveSession()
{
    m_boardChanged = false;
    if (!AppSettings.AutoStartPinging || !QFileInfo::exists(AutoSaveSessionName()))
        return;
    if (const BoundedRead::Result r = BoundedRead::read(AutoSaveSessionName()); !r.ok()) {
        // Read as empty it would clear the board and be deleted at the close: keep it.
        m_autoSessionUnread = true;
        throw SkylarkError(r.error);
    }
    LoadFrameSession(AutoSaveSessionName());
    m_boardChanged = false;
}

void TMainForm::AutoSaveSession()
{
    if (!AppSettings.AutoStartPinging)
        return;
    if (m_autoSessionUnread && !m_boardChanged)
        return; // a session we could not read is still the user's
    if (!ColumnFrames1.isEmpty())
        SaveFrameSession(AutoSaveSessionName());
    else
        QFile::remove(AutoSaveSessionName());
}
