#pragma once

#include "textcodec.h"

#include <QStringList>

// Host list files: one entry per line, every entry followed by CR LF. The encoding found on
// load (byte-order mark or none) is reported so that the next save can write it again.
namespace ListFile {

struct Contents
{
    QStringList lines;
    TextCodec::Encoding encoding = TextCodec::Encoding::Ansi;
};

Contents decode(const QByteArray &bytes);
QByteArray encode(const QStringList &lines, TextCodec::Encoding encoding);

// Throws SkylarkError when the file cannot be read: missing, not a regular file (a folder, a
// FIFO, a device) or larger than BoundedRead::kMaxFileSize.
Contents read(const QString &fileName);
// Atomic replace; throws SkylarkError "Unable to write to <file>" on failure.
void write(const QString &fileName, const QStringList &lines, TextCodec::Encoding encoding);

// The name a list is saved under: ".txt" appended when the file name part has no extension
// (no dot at all); a name with any extension, even a bare trailing dot, is kept.
QString withDefaultExtension(const QString &fileName);

} // namespace ListFile
