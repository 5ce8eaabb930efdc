#include "textrules.h"

namespace TextRules {

QString trimmed(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

static QString mapAscii(const QString &text, char16_t from, char16_t to)
{
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (u >= from && u <= to)
            c = QChar(u ^ 0x20);
    }
    return out;
}

QString asciiLower(const QString &text)
{
    return mapAscii(text, u'A', u'Z');
}

QString asciiUpper(const QString &text)
{
    return mapAscii(text, u'a', u'z');
}

QStringList textToLines(const QString &text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            lines.append(text.mid(start, i - start));
            if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

QString linesToText(const QStringList &lines)
{
    QString out;
    qsizetype size = 0;
    for (const QString &l : lines)
        size += l.size() + 2;
    out.reserve(size);
    for (const QString &l : lines) {
        out += l;
        out += QStringLiteral("\r\n");
    }
    return out;
}

} // namespace TextRules
