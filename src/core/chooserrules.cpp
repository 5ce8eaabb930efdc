#include "chooserrules.h"

#include "textrules.h"

#include <algorithm>
#include <cmath>

namespace ChooserRules {

bool filterMatches(const QString &name, const QString &filter)
{
    if (TextRules::trimmed(filter).isEmpty())
        return true;
    return TextRules::asciiUpper(name).contains(TextRules::asciiUpper(filter));
}

QStringList applyFilter(const QStringList &names, const QString &filter)
{
    QStringList out;
    for (const QString &name : names)
        if (filterMatches(name, filter))
            out.append(name);
    return out;
}

Columns columns(int entryCount, int listHeight, int itemHeight, int clientWidth)
{
    Columns c;
    c.rowsPerColumn = itemHeight > 0 ? std::max(0, listHeight) / itemHeight : 0;
    c.columnCount = c.rowsPerColumn > 0 ? entryCount / c.rowsPerColumn + 1 : 1;
    c.columnWidth = std::max(1, int(std::lround(double(clientWidth) / c.columnCount)));
    return c;
}

Pick parsePick(const QString &fileName)
{
    Pick p;
    if (fileName.startsWith(QLatin1String(kLoadPrefix)))
        p.action = Pick::Load;
    else if (fileName.startsWith(QLatin1String(kEditPrefix)))
        p.action = Pick::Edit;
    else
        return p;
    p.path = fileName.mid(4);
    return p;
}

} // namespace ChooserRules
