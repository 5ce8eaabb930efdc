#include "profilefile.h"

#include "boundedread.h"
#include "safesave.h"
#include "skylarkerror.h"
#include "textcodec.h"
#include "textrules.h"

namespace {
// Characters of code 32 or less taken off both ends, as TextRules::trimmed does.
QStringView trimmedView(QStringView v)
{
    while (!v.isEmpty() && v.front().unicode() <= 32)
        v = v.mid(1);
    while (!v.isEmpty() && v.back().unicode() <= 32)
        v.chop(1);
    return v;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool quotedPair(const QString &v)
{
    return v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front();
}

// A value that reading would change (blanks at either end trimmed, one pair of quotes
// dropped) is written inside double quotes, which reading takes off again.
QString storedValue(const QString &value)
{
    if (quotedPair(value) || TextRules::trimmed(value) != value)
        return u'"' + value + u'"';
    return value;
}
} // namespace

ProfileFile::ProfileFile(const QString &fileName)
    : m_fileName(fileName)
{
    BoundedRead::Result r = BoundedRead::read(fileName);
    if (r.ok())
        parse(std::move(r.bytes));
    else if (!r.missing)
        m_readError = r.error;
}

ProfileFile ProfileFile::load(const QString &fileName)
{
    ProfileFile file;
    file.m_fileName = fileName;
    BoundedRead::Result r = BoundedRead::read(fileName);
    if (!r.ok())
        throw SkylarkError(r.error);
    file.parse(std::move(r.bytes));
    return file;
}

void ProfileFile::parse(QByteArray bytes)
{
    if (bytes.contains("\r\n"))
        m_eol = QStringLiteral("\r\n");
    QString text = TextCodec::decode(bytes).text;
    bytes = QByteArray();
    // Profile strings cannot hold a NUL: NULs (left by a crash, or by a tool that put UTF-16
    // into an 8-bit file) are dropped, so that a save cannot turn the file into something that
    // reads as UTF-16. A U+FEFF at the start is a second mark, not text.
    text.remove(QChar(0));
    qsizetype marks = 0;
    while (marks < text.size() && text.at(marks) == QChar(0xFEFF))
        ++marks;
    text.remove(0, marks);
    // Lines are taken straight from the text, and runs of lines that are neither sections nor
    // keys share one entry (blank runs apart from the others, so that a new key still goes
    // before a section's trailing blank lines): a file of nothing but line ends costs no more
    // than its text, whatever its length.
    const QStringView all(text);
    const qsizetype n = all.size();
    qsizetype start = 0;
    bool lastBlank = false; // whether the run in the last entry is of blank lines
    auto take = [&](QStringView raw) {
        const QStringView t = trimmedView(raw);
        const qsizetype close = t.indexOf(u']');
        const qsizetype eq = raw.indexOf(u'=');
        Line l;
        if (t.startsWith(u'[') && close > 0) {
            l.kind = Line::Section;
            l.name = trimmedView(t.mid(1, close - 1)).toString();
        } else if (eq > 0 && !trimmedView(raw.left(eq)).isEmpty()) {
            l.kind = Line::Key;
            l.name = trimmedView(raw.left(eq)).toString();
        } else if (!m_lines.isEmpty() && m_lines.back().kind == Line::Other && lastBlank == t.isEmpty()) {
            m_lines.back().text += m_eol;
            m_lines.back().text += raw;
            return;
        } else {
            lastBlank = t.isEmpty();
        }
        l.text = raw.toString();
        m_lines.append(l);
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = all[i];
        if (c == u'\r' || c == u'\n') {
            take(all.mid(start, i - start));
            if (c == u'\r' && i + 1 < n && all[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        take(all.mid(start));
}

qsizetype ProfileFile::findSection(const QString &section) const
{
    const QString want = TextRules::trimmed(section);
    for (qsizetype i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].kind == Line::Section && sameName(m_lines[i].name, want))
            return i;
    return -1;
}

qsizetype ProfileFile::sectionEnd(qsizetype headerIndex) const
{
    qsizetype i = headerIndex + 1;
    while (i < m_lines.size() && m_lines[i].kind != Line::Section)
        ++i;
    return i;
}

qsizetype ProfileFile::findKey(qsizetype headerIndex, const QString &key) const
{
    if (headerIndex < 0)
        return -1;
    const QString want = TextRules::trimmed(key);
    const qsizetype end = sectionEnd(headerIndex);
    for (qsizetype i = headerIndex + 1; i < end; ++i)
        if (m_lines[i].kind == Line::Key && sameName(m_lines[i].name, want))
            return i;
    return -1;
}

QString ProfileFile::valueOf(const Line &line)
{
    QString v = TextRules::trimmed(line.text.mid(line.text.indexOf(u'=') + 1));
    // Windows drops one pair of matching quotes around a value.
    if (quotedPair(v))
        v = v.mid(1, v.size() - 2);
    return v;
}

QString ProfileFile::readString(const QString &section, const QString &key, const QString &def) const
{
    const qsizetype k = findKey(findSection(section), key);
    return k < 0 ? def : valueOf(m_lines[k]);
}

int ProfileFile::parseInteger(const QString &text, int def)
{
    const QString t = text.trimmed();
    bool ok = false;
    if (t.size() > 2 && (t.startsWith(QStringLiteral("0x")) || t.startsWith(QStringLiteral("0X")))) {
        const quint32 v = t.mid(2).toUInt(&ok, 16);
        return ok ? static_cast<int>(v) : def;
    }
    if (t.size() > 1 && t.startsWith(u'$')) {
        const quint32 v = t.mid(1).toUInt(&ok, 16);
        return ok ? static_cast<int>(v) : def;
    }
    const int v = t.toInt(&ok, 10);
    return ok ? v : def;
}

int ProfileFile::readInteger(const QString &section, const QString &key, int def) const
{
    const qsizetype k = findKey(findSection(section), key);
    return k < 0 ? def : parseInteger(valueOf(m_lines[k]), def);
}

bool ProfileFile::readBool(const QString &section, const QString &key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

int ProfileFile::keyCount(const QString &section) const
{
    return int(keyNames(section).size());
}

QStringList ProfileFile::keyNames(const QString &section) const
{
    QStringList names;
    const qsizetype h = findSection(section);
    if (h < 0)
        return names;
    const qsizetype end = sectionEnd(h);
    for (qsizetype i = h + 1; i < end; ++i)
        if (m_lines[i].kind == Line::Key)
            names.append(m_lines[i].name);
    return names;
}

QStringList ProfileFile::sectionNames() const
{
    QStringList names;
    for (const Line &l : m_lines)
        if (l.kind == Line::Section)
            names.append(l.name);
    return names;
}

void ProfileFile::writeString(const QString &section, const QString &key, const QString &value)
{
    Line kl;
    kl.kind = Line::Key;
    kl.name = TextRules::trimmed(key);
    kl.text = kl.name + u'=' + storedValue(value);

    const qsizetype h = findSection(section);
    if (h < 0) {
        Line sl;
        sl.kind = Line::Section;
        sl.name = TextRules::trimmed(section);
        sl.text = u'[' + sl.name + u']';
        m_lines.append(sl);
        m_lines.append(kl);
        return;
    }
    const qsizetype k = findKey(h, key);
    if (k >= 0) {
        kl.name = m_lines[k].name;
        kl.text = kl.name + u'=' + storedValue(value);
        m_lines[k] = kl;
        return;
    }
    // After the section's last non-blank line, as Windows does.
    qsizetype at = sectionEnd(h);
    while (at > h + 1 && TextRules::trimmed(m_lines[at - 1].text).isEmpty())
        --at;
    m_lines.insert(at, kl);
}

void ProfileFile::writeInteger(const QString &section, const QString &key, int value)
{
    writeString(section, key, QString::number(value));
}

void ProfileFile::writeBool(const QString &section, const QString &key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void ProfileFile::eraseSection(const QString &section)
{
    qsizetype h;
    while ((h = findSection(section)) >= 0)
        m_lines.remove(h, sectionEnd(h) - h);
}

void ProfileFile::save() const
{
    QString text;
    for (const Line &l : m_lines) {
        text += l.text;
        text += m_eol;
    }
    SafeSave::write(m_fileName, text.toUtf8());
}
