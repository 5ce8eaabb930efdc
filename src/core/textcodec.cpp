#include "textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <iterator>

namespace TextCodec {

namespace {

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to their C1 code points,
// as Windows' own conversion does.
// clang-format off
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
// clang-format on

// Text without a mark that is plainly UTF-16 (every other byte zero) is read as such:
// a user who saved "Unicode" from an old editor expects the names, not NUL-studded noise.
Encoding sniffUnmarkedUtf16(const QByteArray &bytes)
{
    const qsizetype pairs = bytes.size() / 2;
    if (pairs < 2 || bytes.size() % 2 != 0)
        return Encoding::Ansi;
    qsizetype zeroEven = 0, zeroOdd = 0;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        zeroEven += bytes.at(i) == 0;
        zeroOdd += bytes.at(i + 1) == 0;
    }
    if (zeroOdd * 10 >= pairs * 6 && zeroEven * 10 < pairs)
        return Encoding::Utf16LE;
    if (zeroEven * 10 >= pairs * 6 && zeroOdd * 10 < pairs)
        return Encoding::Utf16BE;
    return Encoding::Ansi;
}

// The mark, when there is one, has been taken off already: a U+FEFF that follows it is text
// and stays. Lone surrogates become U+FFFD, so that the text can be written in any encoding.
QString decodeBody(QByteArrayView bytes, QStringConverter::Encoding enc)
{
    QStringDecoder dec(enc, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = dec.decode(bytes);
    if (enc == QStringConverter::Utf8)
        return text;
    QChar *d = text.data();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (d[i].isHighSurrogate() && i + 1 < n && d[i + 1].isLowSurrogate())
            ++i;
        else if (d[i].isSurrogate())
            d[i] = QChar::ReplacementCharacter;
    }
    return text;
}

QString decode8Bit(const QByteArray &bytes)
{
    return isValidUtf8(bytes) ? decodeBody(bytes, QStringConverter::Utf8) : fromWindows1252(bytes);
}

// Unmarked UTF-8 that would not read back as written: NULs make the UTF-16 guess above
// possible, and a leading U+FEFF would be taken for a mark.
bool needsMark(const QString &text)
{
    return text.startsWith(QChar(0xFEFF)) || text.contains(QChar(0));
}

} // namespace

bool isValidUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        unsigned min;
        unsigned cp;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

QString fromWindows1252(const QByteArray &bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes.at(i));
        d[i] = QChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b));
    }
    return out;
}

Decoded decode(const QByteArray &bytes)
{
    Decoded r;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        r.encoding = Encoding::Utf8Bom;
        const QByteArray body = bytes.mid(3);
        r.text = decode8Bit(body);
        return r;
    }
    if (bytes.startsWith("\xFF\xFE")) {
        r.encoding = Encoding::Utf16LE;
        r.text = decodeBody(QByteArrayView(bytes).sliced(2), QStringConverter::Utf16LE);
        return r;
    }
    if (bytes.startsWith("\xFE\xFF")) {
        r.encoding = Encoding::Utf16BE;
        r.text = decodeBody(QByteArrayView(bytes).sliced(2), QStringConverter::Utf16BE);
        return r;
    }
    const Encoding sniffed = sniffUnmarkedUtf16(bytes);
    if (sniffed != Encoding::Ansi) {
        r.encoding = sniffed;
        r.text
            = decodeBody(bytes, sniffed == Encoding::Utf16LE ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        return r;
    }
    if (isValidUtf8(bytes)) {
        r.text = decodeBody(bytes, QStringConverter::Utf8);
    } else {
        r.encoding = Encoding::Windows1252;
        r.text = fromWindows1252(bytes);
    }
    return r;
}

bool toWindows1252(const QString &text, QByteArray &out)
{
    out.resize(text.size());
    char *d = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            d[i] = char(c);
            continue;
        }
        const char16_t *hit = std::find(std::begin(kCp1252High), std::end(kCp1252High), c);
        if (hit == std::end(kCp1252High))
            return false;
        d[i] = char(0x80 + (hit - std::begin(kCp1252High)));
    }
    return true;
}

QByteArray encode(const QString &text, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Windows1252: {
        // The bytes must also read back as Windows-1252 text: bytes that happen to be valid
        // UTF-8 (or look like UTF-16) would be read as something else next time.
        QByteArray bytes;
        if (toWindows1252(text, bytes) && decode(bytes).text == text)
            return bytes;
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    }
    case Encoding::Ansi:
        if (!needsMark(text))
            return text.toUtf8();
        [[fallthrough]];
    case Encoding::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case Encoding::Utf16LE:
    case Encoding::Utf16BE: {
        QStringEncoder enc(encoding == Encoding::Utf16LE ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
            QStringConverter::Flag::WriteBom);
        return enc.encode(text);
    }
    }
    return {};
}

} // namespace TextCodec
