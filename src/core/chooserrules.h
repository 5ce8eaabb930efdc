#pragma once

#include <QString>
#include <QStringList>

// The file chooser's rules without widgets: which names the filter lets through, how the
// names are laid out in columns, and what a pick means.
namespace ChooserRules {

// A filter that is blank once trimmed lets every name through; otherwise a name passes when
// it holds the filter, untrimmed, as a substring, only the ASCII letters compared without
// regard to case.
bool filterMatches(const QString &name, const QString &filter);
QStringList applyFilter(const QStringList &names, const QString &filter);

struct Columns
{
    int rowsPerColumn = 0;
    int columnCount = 1;
    int columnWidth = 1;
};
// Rows per column = list height div item height; columns = entries div rows + 1, sharing the
// client width equally (rounded, at least 1 pixel). A list lower than one item has one column.
Columns columns(int entryCount, int listHeight, int itemHeight, int clientWidth);

inline constexpr auto kLoadPrefix = "[L] ";
inline constexpr auto kEditPrefix = "[E] ";

// A pick: the prefix tells whether to load the file or open it in the desktop's program.
struct Pick
{
    enum Action { None, Load, Edit } action = None;
    QString path;
};
Pick parsePick(const QString &fileName);

} // namespace ChooserRules
