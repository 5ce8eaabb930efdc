// Sessions: the board and the window's geometry saved to a file and rebuilt from it, and the
// autosaved session kept across runs when AutoStartPinging is on.
#include "mainform.h"

#include "appclock.h"
#include "frameboard.h"
#include "boundedread.h"
#include "pingframe.h"
#include "presettext.h"
#include "profilefile.h"
#include "sessionfile.h"
#include "skylarkerror.h"
#include "splitterbar.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSpinBox>
#include <QToolButton>

QString TMainForm::AutoSaveSessionName() const
{
    return SsnDir + QStringLiteral("Session_AutoSave.txt");
}

void TMainForm::SaveFrameSession(const QString &fileName)
{
    ProfileFile file(fileName);
    SessionFile::Board board;
    board.preset = PresetText::compose(OuterGeometry());
    board.column2Visible = mmiShow2->isChecked();
    for (const TPingFrame *f : std::as_const(Board->ColumnFrames1))
        board.column1.append(f->setup());
    for (const TPingFrame *f : std::as_const(Board->ColumnFrames2))
        board.column2.append(f->setup());
    // The frames of a load that a close cut short belong to the board all the same.
    board.column1 += m_unloaded1;
    board.column2 += m_unloaded2;
    SessionFile::write(file, board);
    file.save();
}

void TMainForm::LoadFrameSession(const QString &fileName)
{
    // Read before anything is cleared: a file that cannot be read leaves the board as it was.
    const ProfileFile file = ProfileFile::load(fileName);
    // The whole load is one board command: nothing else touches the frames meanwhile, not
    // even while the clear below waits for pings.
    const TFrameBoard::Wait wait(Board);
    ClearAllFrames();
    m_unloaded1.clear();
    m_unloaded2.clear();
    const SessionFile::Board board = SessionFile::read(file);
    if (const auto g = PresetText::parse(board.preset)) {
        const PresetText::Geometry applied = SetOuterGeometry(*g);
        // During start-up the window may not have its frame yet: the preset is applied again,
        // as outer geometry, once it has (reapplyPendingOuter), and it replaces the settings
        // file's geometry, which start-up applied before the session was loaded.
        if (!m_startUpDone || m_outerPending)
            m_outerPending = applied;
    }
    mmiShow2->setChecked(board.column2Visible);
    ShowColumn2();

    // A frame that cannot start (an empty host) must not cost the frames after it: every
    // frame is made and started, and the first error is raised at the end.
    QString firstError;
    auto make = [&](const SessionFile::Frame &r, bool column2) {
        TPingFrame *f = nullptr;
        {
            // The columns are laid out once a slice, not once a frame.
            Board->SetLayoutDeferred(true);
            const auto laidOutLater = qScopeGuard([this] { Board->SetLayoutDeferred(false); });
            f = Board->addFrame(column2 ? 2 : 1);
        }
        // Started below, with the others of the load.
        TPingFrame::Setup s = r;
        s.running = false;
        f->applySetup(s);
        if (r.running) {
            try {
                Board->startFrame(f);
            } catch (const SkylarkError &e) {
                if (firstError.isEmpty())
                    firstError = e.message();
            }
        }
    };
    // Hundreds of frames take seconds to make: the window keeps answering between slices of
    // the work, and a close (the user's, a signal's, a logout's) ends the load at once. The
    // frames not yet made belong to the board all along: a save meanwhile (Save Frame Session,
    // the close's autosave) writes them too, so that nothing of the file is lost.
    m_unloaded1 = board.column1;
    m_unloaded2 = board.column2;
    constexpr qint64 kSliceMs = 30;
    QElapsedTimer slice;
    slice.start();
    auto layOut = [this] {
        SizeFrames();
        SizeFrames2();
    };
    bool cut = false;
    for (bool column2 : { false, true }) {
        const QList<SessionFile::Frame> &records = column2 ? board.column2 : board.column1;
        for (qsizetype i = 0; i < records.size(); ++i) {
            if (!cut && slice.elapsed() >= kSliceMs) {
                layOut();
                QCoreApplication::processEvents();
                slice.restart();
                cut = m_closeAfterWait || m_unattended;
            }
            if (cut)
                break;
            make(records[i], column2);
            if (QList<SessionFile::Frame> &unloaded = column2 ? m_unloaded2 : m_unloaded1; !unloaded.isEmpty())
                unloaded.removeFirst();
        }
    }
    layOut();
    if (cut)
        return; // the close is waiting: no message for nobody to read
    QStringList messages;
    if (const QString tooMany = SessionFile::tooManyFramesMessage(fileName, board); !tooMany.isEmpty())
        messages << tooMany;
    if (!firstError.isEmpty())
        messages << firstError;
    if (!messages.isEmpty())
        throw SkylarkError(messages.join(QStringLiteral("\n\n")));
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
    // A link that leads nowhere, or in a loop, is said; with no autosave at all there is
    // nothing to reload.
    const QFileInfo file(AutoSaveSessionName());
    if (file.exists() || file.isSymLink())
        LoadFrameSession(AutoSaveSessionName());
}

void TMainForm::RestoreAutoSaveSession()
{
    Board->SetChanged(false);
    // A link that leads nowhere, or in a loop, is there all the same: it is said at once, and
    // kept.
    const QFileInfo file(AutoSaveSessionName());
    if (!AppSettings.AutoStartPinging || (!file.exists() && !file.isSymLink()))
        return;
    if (const BoundedRead::Result r = BoundedRead::read(AutoSaveSessionName()); !r.ok()) {
        // Read as empty it would clear the board and be deleted at the close: keep it.
        m_autoSessionUnread = true;
        throw SkylarkError(r.error);
    }
    LoadFrameSession(AutoSaveSessionName());
    Board->SetChanged(false);
}

void TMainForm::AutoSaveSession()
{
    if (!AppSettings.AutoStartPinging)
        return;
    if (m_autoSessionUnread && !Board->Changed())
        return; // a session we could not read is still the user's
    const bool empty = Board->ColumnFrames1.isEmpty() && Board->ColumnFrames2.isEmpty() && m_unloaded1.isEmpty()
        && m_unloaded2.isEmpty();
    if (empty && m_boardClearedByClose)
        return; // emptied by an earlier close that then failed: the file holds the board
    // A board held only in column 2 is a board too.
    const QString name = AutoSaveSessionName();
    const QFileInfo file(name);
    // A link stays a link: an empty board is written through it, as any other board is, and
    // a link that leads nowhere it may write is refused there.
    if (!empty || file.isSymLink())
        SaveFrameSession(name);
    else if (file.exists() && !file.isFile())
        throw SkylarkError(QStringLiteral("Unable to write to %1").arg(name)); // a FIFO, a device, a folder
    else
        QFile::remove(name);
}
