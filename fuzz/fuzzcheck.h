#pragma once

#include <QDebug>
#include <QString>

#include <cstdio>
#include <cstdlib>

// Stops the run with a message when a promise of a file format is broken; libFuzzer keeps the
// input that did it.
#define FUZZ_CHECK(cond, ...)                                                                                          \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "round trip broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__);                        \
            qWarning().noquote() << __VA_ARGS__;                                                                       \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace Fuzz {

// Text any of our files can hold: lone surrogates (which no 8-bit encoding carries) become
// U+FFFD.
inline QString wellFormed(QString text)
{
    QChar *d = text.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (d[i].isHighSurrogate() && i + 1 < text.size() && d[i + 1].isLowSurrogate())
            ++i;
        else if (d[i].isSurrogate())
            d[i] = QChar::ReplacementCharacter;
    }
    return text;
}

// Text from raw fuzz bytes: as UTF-16 code units when utf16 is set (any character), else one
// character per byte (control characters, NULs and line ends come up often).
inline QString textFrom(const uint8_t *data, size_t size, bool utf16)
{
    if (utf16)
        return wellFormed(QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2)));
    return QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace Fuzz
