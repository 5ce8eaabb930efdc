#include "listfile.h"

#include "boundedread.h"
#include "safesave.h"
#include "textrules.h"

namespace ListFile {

namespace {
LineEnds lineEndsOf(const QString &text)
{
    return text.contains(u'\n') && !text.contains(u'\r') ? LineEnds::Lf : LineEnds::CrLf;
}
} // namespace

Contents decode(const QByteArray &bytes)
{
    const TextCodec::Decoded d = TextCodec::decode(bytes);
    return { TextRules::textToLines(d.text), d.encoding, lineEndsOf(d.text) };
}

QByteArray encode(const QStringList &lines, TextCodec::Encoding encoding, LineEnds lineEnds)
{
    if (lineEnds == LineEnds::CrLf)
        return TextCodec::encode(TextRules::linesToText(lines), encoding);
    QString text;
    qsizetype size = 0;
    for (const QString &l : lines)
        size += l.size() + 1;
    text.reserve(size);
    for (const QString &l : lines) {
        text += l;
        text += u'\n';
    }
    return TextCodec::encode(text, encoding);
}

Contents read(const QString &fileName)
{
    // The bytes go once decoded, before the text is split into lines.
    TextCodec::Decoded d = TextCodec::decode(BoundedRead::readOrThrow(fileName));
    const LineEnds ends = lineEndsOf(d.text);
    return { TextRules::textToLines(d.text), d.encoding, ends };
}

void write(const QString &fileName, const QStringList &lines, TextCodec::Encoding encoding, LineEnds lineEnds)
{
    SafeSave::write(fileName, encode(lines, encoding, lineEnds));
}

QString withDefaultExtension(const QString &fileName)
{
    const qsizetype nameStart = fileName.lastIndexOf(u'/') + 1;
    if (fileName.indexOf(u'.', nameStart) >= 0)
        return fileName;
    return fileName + QStringLiteral(".txt");
}

} // namespace ListFile
