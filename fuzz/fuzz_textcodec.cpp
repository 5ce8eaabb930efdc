// Text codec: reading never fails, text read and written again reads back the same, and any
// well-formed text written in any encoding reads back unchanged.
#include "fuzzcheck.h"
#include "textcodec.h"

#include <QStringDecoder>

using TextCodec::Encoding;

namespace {

// A mark may be added to unmarked text, but only where the text would not read back without it.
void checkEncodingBack(Encoding written, Encoding back, const QString &text)
{
    if (written == Encoding::Ansi && back == Encoding::Utf8Bom) {
        // A mark where NULs are (a guess at UTF-16 could take them), or where the text would
        // not read back without it.
        FUZZ_CHECK(text.contains(QChar(0)) || TextCodec::decode(text.toUtf8()).text != text, "needless mark" << text);
        return;
    }
    FUZZ_CHECK(back == written, "encoding" << int(written) << "read back as" << int(back) << text);
}

void checkRoundTrip(const QString &text, Encoding enc)
{
    const TextCodec::Decoded back = TextCodec::decode(TextCodec::encode(text, enc));
    FUZZ_CHECK(back.text == text, "encoding" << int(enc) << "wrote" << text << "read" << back.text);
    checkEncodingBack(enc, back.encoding, text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    ++data, --size;

    // Whatever the bytes, reading gives text that saves and reads back as read.
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const TextCodec::Decoded read = TextCodec::decode(bytes);
    checkRoundTrip(read.text, read.encoding);

    // Text made up from the input, in the encoding the first byte picks.
    checkRoundTrip(Fuzz::textFrom(data, size, mode & 4), Encoding(mode & 3));

    // The Windows-1252 reading of 8-bit bytes keeps every byte.
    FUZZ_CHECK(TextCodec::fromWindows1252(bytes).size() == bytes.size(), bytes);
    // Our UTF-8 check agrees with Qt's decoder.
    QStringDecoder utf8(
        QStringConverter::Utf8, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    const QString viaQt = utf8.decode(bytes);
    FUZZ_CHECK(TextCodec::isValidUtf8(bytes) == !utf8.hasError(), "UTF-8 check disagrees" << bytes);
    if (!utf8.hasError())
        FUZZ_CHECK(viaQt.toUtf8() == bytes, "UTF-8 does not survive" << bytes);
    return 0;
}
