#pragma once

#include <QByteArray>
#include <QString>

// Reading and writing the text files that Skylark shares with Windows tools. Text without a
// byte-order mark is UTF-8 when the bytes are valid UTF-8, else Windows-1252, so files made
// by Windows editors load as written.
namespace TextCodec {

// Without a mark the text is written as UTF-8, with the UTF-8 mark instead when it would not
// read back without one (NULs, a leading U+FEFF).
enum class Encoding {
    Ansi, // no byte-order mark, valid UTF-8 (or nothing read yet): written as UTF-8
    Utf8Bom, // EF BB BF
    Utf16LE, // FF FE
    Utf16BE, // FE FF
    // No mark and not valid UTF-8: read as Windows-1252. Written back as Windows-1252 when
    // the text reads back unchanged that way, else as UTF-8 with a mark, so that a save never
    // loses a character.
    Windows1252,
};

struct Decoded
{
    QString text;
    Encoding encoding = Encoding::Ansi;
};

Decoded decode(const QByteArray &bytes);
QByteArray encode(const QString &text, Encoding encoding);

bool isValidUtf8(const QByteArray &bytes);
QString fromWindows1252(const QByteArray &bytes);
// False when some character has no Windows-1252 byte; `out` then holds nothing useful.
bool toWindows1252(const QString &text, QByteArray &out);

} // namespace TextCodec
