#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

class ProfileFile;

// A saved board: the window's geometry as preset text, whether column 2 is shown, and every
// frame of each column from the top. Read and written over a profile file, so keys and
// sections that a save does not write stay in the file.
namespace SessionFile {

struct Frame
{
    QString host = QStringLiteral("LocalHost");
    int points = 180;
    bool details = false;
    bool running = false;
    bool operator==(const Frame &) const = default;
};

// The most frames a session makes in one column: each frame is a window of its own (about
// 100 KB and a ping a second), and a file's count must not drive the program out of memory.
inline constexpr int kMaxFramesPerColumn = 1000;

struct Board
{
    QString preset;
    bool column2Visible = false;
    QList<Frame> column1, column2;
    // The counts the file gives, which may exceed what was read (kMaxFramesPerColumn).
    int listed1 = 0, listed2 = 0;
    bool operator==(const Board &) const = default;
};

// Missing keys read as their defaults; so does everything of a missing file. At most
// kMaxFramesPerColumn frames are read for each column.
Board read(const ProfileFile &file);
// The message for a board whose file lists more frames than are read, or empty.
QString tooManyFramesMessage(const QString &fileName, const Board &board);
// Column 2's count is always written, its frames while it is shown or holds frames.
void write(ProfileFile &file, const Board &board);

// "Session_2024-03-05_14.07.09.txt" for that local time.
QString proposedName(const QDateTime &when);
// The name with its extension replaced by ".txt", or ".txt" added when it has none.
QString withTxtExtension(const QString &path);

} // namespace SessionFile
