#pragma once

#include "textcodec.h"

#include <QStringList>

// Host list files: one entry per line, every entry followed by CR LF. The encoding found on
// load (byte-order mark or none) and line ends of LF alone are reported so that the next save
// can write them again.
namespace ListFile {

enum class LineEnds { CrLf, Lf };

struct Contents
{
    QStringList lines;
    TextCodec::Encoding encoding = TextCodec::Encoding::Ansi;
    // Lf when the text ends its lines with LF and holds no CR at all.
    LineEnds lineEnds = LineEnds::CrLf;
};

Contents decode(const QByteArray &bytes);
QByteArray encode(const QStringList &lines, TextCodec::Encoding encoding, LineEnds lineEnds = LineEnds::CrLf);

// Throws SkylarkError when the file cannot be read: missing, not a regular file (a folder, a
// FIFO, a device) or larger than BoundedRead::kMaxFileSize.
Contents read(const QString &fileName);
// Atomic replace; throws SkylarkError "Unable to write to <file>" on failure, and for a list
// larger than read() accepts.
void write(const QString &fileName, const QStringList &lines, TextCodec::Encoding encoding,
    LineEnds lineEnds = LineEnds::CrLf);

// The name a list is saved under: ".txt" appended when the file name part has no extension
// (no dot at all); a name with any extension, even a bare trailing dot, is kept.
QString withDefaultExtension(const QString &fileName);

} // namespace ListFile
