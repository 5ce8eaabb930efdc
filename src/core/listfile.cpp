#include "listfile.h"

#include "boundedread.h"
#include "safesave.h"
#include "textrules.h"

namespace ListFile {

Contents decode(const QByteArray &bytes)
{
    const TextCodec::Decoded d = TextCodec::decode(bytes);
    return { TextRules::textToLines(d.text), d.encoding };
}

QByteArray encode(const QStringList &lines, TextCodec::Encoding encoding)
{
    return TextCodec::encode(TextRules::linesToText(lines), encoding);
}

Contents read(const QString &fileName)
{
    // The bytes go once decoded, before the text is split into lines.
    TextCodec::Decoded d = TextCodec::decode(BoundedRead::readOrThrow(fileName));
    return { TextRules::textToLines(d.text), d.encoding };
}

void write(const QString &fileName, const QStringList &lines, TextCodec::Encoding encoding)
{
    SafeSave::write(fileName, encode(lines, encoding));
}

QString withDefaultExtension(const QString &fileName)
{
    const qsizetype nameStart = fileName.lastIndexOf(u'/') + 1;
    if (fileName.indexOf(u'.', nameStart) >= 0)
        return fileName;
    return fileName + QStringLiteral(".txt");
}

} // namespace ListFile
