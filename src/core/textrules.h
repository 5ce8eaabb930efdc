#pragma once

#include <QString>
#include <QStringList>

// Text rules shared by the host list, list files and the edit dialog.
namespace TextRules {
// Leading and trailing characters of code 32 or less removed.
QString trimmed(const QString &text);
// Only A-Z / a-z are mapped; every other character stays as it is.
QString asciiLower(const QString &text);
QString asciiUpper(const QString &text);
// A line ends at CR LF, a lone CR or a lone LF; a line end at the very end adds no line.
QStringList textToLines(const QString &text);
// Every line followed by CR LF, the last one included.
QString linesToText(const QStringList &lines);
} // namespace TextRules
