#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file only once its new contents are safely on disk: the bytes go to a temporary
// file beside the target, every write's length is checked, the data is flushed and synced,
// and only then is the temporary file renamed over the target. On any failure the temporary
// file is dropped and the old file stays exactly as it was, so a full disk can never shorten
// or empty a user's file.
//
// Symbolic links are followed first: a link to a regular file writes that file and stays a
// link. A link loop, a FIFO, a device, a socket or a folder is never written or replaced.
// The temporary file has no name while it is written (O_TMPFILE), and one of our own pattern
// (see isLeftoverName) only for the moment before the rename, or throughout on a file system
// without unnamed files.
namespace SafeSave {

// Returns false when the file could not be replaced; the old file is then untouched.
bool tryWrite(const QString &fileName, const QByteArray &bytes);

// As tryWrite, but a failure raises SkylarkError "Unable to write to <file>". Contents larger
// than the files we read (BoundedRead::kMaxFileSize) are never written: they could not be
// read back, so the old file is kept and the message says why.
void write(const QString &fileName, const QByteArray &bytes);

// The file a save of fileName writes: the end of its chain of symbolic links, or the name
// itself. Empty when the name may not be written: a link loop, or something other than a
// regular file (or nothing) at the end of the chain.
QString target(const QString &fileName);

// Whether a file name is one our saves give their temporary files, or gave them before
// (a few fixed names of ours with a six-character suffix).
bool isLeftoverName(const QString &name);
// Removes from the folder the temporary files of saves that were killed before they ended:
// regular files of ours with a leftover name that nobody has written to for a minute.
// Returns how many were removed.
int removeLeftovers(const QString &folder);

} // namespace SafeSave
