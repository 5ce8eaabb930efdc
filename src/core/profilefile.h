#pragma once

#include <QString>
#include <QStringList>

// A profile (INI) file with the semantics of Windows' profile routines, so that files written
// on Windows read the same: section and key names match without regard to case, blanks around
// names and values are ignored, the first occurrence wins, a rewritten key keeps its place, a
// new key is appended to its section and a new section to the file. Changes stay in memory
// until save(), which replaces the file atomically.
class ProfileFile
{
public:
    // Loads the file when it exists; a missing or unreadable file is an empty profile, and so
    // is anything but a regular file of at most BoundedRead::kMaxFileSize bytes.
    explicit ProfileFile(const QString &fileName);
    // As the constructor, but a file that cannot be read (missing, no permission, not a regular
    // file, too large) raises SkylarkError: for a file the user asked for by name.
    static ProfileFile load(const QString &fileName);

    QString fileName() const { return m_fileName; }
    // Why a file that is there could not be read ("Cannot open file ...: it is larger than
    // 16 MiB."); empty when it was read or is missing.
    QString readError() const { return m_readError; }

    QString readString(const QString &section, const QString &key, const QString &def) const;
    int readInteger(const QString &section, const QString &key, int def) const;
    bool readBool(const QString &section, const QString &key, bool def) const;
    // Number of key lines in the section, whatever their names.
    int keyCount(const QString &section) const;
    QStringList sectionNames() const;
    QStringList keyNames(const QString &section) const;

    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value);
    void eraseSection(const QString &section);

    // Writes a temporary file beside the target and renames it over the target. Throws
    // SkylarkError "Unable to write to <file>" when that fails; the old file is then intact.
    void save() const;

    // Parses a profile integer: "0x" + hex digits (longer than two characters), else a
    // decimal 32-bit integer; anything else gives def.
    static int parseInteger(const QString &text, int def);

private:
    ProfileFile() = default;
    void parse(QByteArray bytes);

    struct Line
    {
        enum Kind { Other, Section, Key } kind = Other;
        QString name; // section or key name, trimmed
        QString text; // the raw line
    };
    qsizetype findSection(const QString &section) const;
    qsizetype sectionEnd(qsizetype headerIndex) const;
    qsizetype findKey(qsizetype headerIndex, const QString &key) const;
    static QString valueOf(const Line &line);

    QString m_fileName;
    QString m_readError;
    QList<Line> m_lines;
    QString m_eol = QStringLiteral("\n");
};
