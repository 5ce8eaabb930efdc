#include "listfile.h"

#include "safesave.h"
#include "skylarkerror.h"
#include "textrules.h"

#include <QFile>

namespace ListFile {

Contents decode(const QByteArray &bytes)
{
    const TextCodec::Decoded d = TextCodec::decode(bytes);
    return {TextRules::textToLines(d.text), d.encoding};
}

QByteArray encode(const QStringList &lines, TextCodec::Encoding encoding)
{
    return TextCodec::encode(TextRules::linesToText(lines), encoding);
}

Contents read(const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        throw SkylarkError(QStringLiteral("Cannot open file \"%1\": %2.").arg(fileName, asClause(f.errorString())));
    return decode(f.readAll());
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
