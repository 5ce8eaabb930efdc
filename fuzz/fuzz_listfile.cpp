// List files: a list read from any bytes saves and reads back as read, and any list of entries
// without line ends (the one thing an entry cannot hold) saves and reads back unchanged.
#include "fuzzcheck.h"
#include "listfile.h"
#include "textrules.h"

using TextCodec::Encoding;

namespace {

void checkRoundTrip(const QStringList &lines, Encoding enc)
{
    const ListFile::Contents back = ListFile::decode(ListFile::encode(lines, enc));
    FUZZ_CHECK(back.lines == lines, "encoding" << int(enc) << "wrote" << lines << "read" << back.lines);
    if (enc == Encoding::Ansi && back.encoding == Encoding::Utf8Bom) {
        // Marked only where NULs are (a guess at UTF-16 could take them), or where the unmarked
        // save would have read back otherwise.
        const QString text = TextRules::linesToText(lines);
        const ListFile::Contents unmarked = ListFile::decode(text.toUtf8());
        FUZZ_CHECK(text.contains(QChar(0)) || unmarked.lines != lines || unmarked.encoding != Encoding::Ansi,
            "needless mark" << lines);
        return;
    }
    FUZZ_CHECK(back.encoding == enc, "encoding" << int(enc) << "read back as" << int(back.encoding) << lines);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    ++data, --size;

    if (mode & 8) {
        // The input is a list file.
        const ListFile::Contents read
            = ListFile::decode(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
        for (const QString &line : read.lines)
            FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n'), "line end inside an entry" << line);
        checkRoundTrip(read.lines, read.encoding);
        return 0;
    }
    // The input makes up entries: split at every CR and LF, so no entry holds one.
    const QString text = Fuzz::textFrom(data, size, mode & 4);
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text.at(i) == u'\r' || text.at(i) == u'\n') {
            if (i < text.size() || start < i)
                lines.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    checkRoundTrip(lines, Encoding(mode & 3));
    return 0;
}
