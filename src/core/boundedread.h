#pragma once

#include <QByteArray>
#include <QString>

// Whole-file reads of the small text files Skylark keeps: host lists, sessions, settings and
// the recent-files list. Only a regular file is read: a FIFO would hold the user-interface
// thread until some other program writes to it, and a device such as /dev/zero never ends.
// A file larger than the limit is refused from its size before anything is allocated for it,
// and no more than the limit is ever read, even from a file that grows meanwhile. Nothing here
// blocks: the file is opened without waiting for a writer.
namespace BoundedRead {

// A 5000-host list is about 100 KB and a session of 1000 frames about 150 KB.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

struct Result
{
    QByteArray bytes;
    // Empty when the file was read; else one sentence naming the file ("Cannot open file
    // "x": it is not a regular file.").
    QString error;
    // The name leads to nothing (no such file, or a link whose target is gone).
    bool missing = false;
    bool ok() const { return error.isEmpty(); }
};

Result read(const QString &fileName, qint64 maxSize = kMaxFileSize);

// As read, but a file that cannot be read raises SkylarkError with that sentence.
QByteArray readOrThrow(const QString &fileName, qint64 maxSize = kMaxFileSize);

} // namespace BoundedRead
