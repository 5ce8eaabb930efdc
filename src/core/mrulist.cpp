#include "mrulist.h"

#include "profilefile.h"

#include <QFileInfo>

#include <algorithm>

namespace MruList {

int clampMaxFiles(int value)
{
    return std::clamp(value, 1, kMaxFilesLimit);
}

QStringList addFile(QStringList list, const QString &name, int maxFiles, bool *changed)
{
    const qsizetype at = list.indexOf(name);
    if (changed)
        *changed = at != 0;
    if (at == 0)
        return list;
    if (at > 0)
        list.removeAt(at);
    list.prepend(name);
    while (list.size() > maxFiles)
        list.removeAt(maxFiles);
    return list;
}

QStringList readIni(const ProfileFile &ini, int maxFiles)
{
    const QString section = QString::fromLatin1(kIniSection);
    QStringList list;
    for (int k = 1; k <= maxFiles; ++k) {
        const QString name = ini.readString(section, QString::number(k), QString());
        if (name.isEmpty())
            break;
        list.append(name);
    }
    return list;
}

void writeIni(ProfileFile &ini, const QStringList &list, int maxFiles)
{
    const QString section = QString::fromLatin1(kIniSection);
    for (int k = 1; k <= maxFiles; ++k)
        ini.writeString(section, QString::number(k), k <= list.size() ? list.at(k - 1) : QString());
}

QString iniFilePath(const QString &iniFile, const QString &programPath)
{
    if (iniFile.isEmpty()) {
        const QFileInfo program(programPath);
        return program.path() + u'/' + program.completeBaseName() + QStringLiteral(".ini");
    }
    if (iniFile.contains(u'/'))
        return iniFile;
    return QFileInfo(programPath).path() + u'/' + iniFile;
}

QString entryCaption(int index, const QString &name, bool showFullPath)
{
    QString shown = showFullPath ? name : QFileInfo(name).fileName();
    shown.replace(u'&', QStringLiteral("&&"));
    return QStringLiteral("&%1  %2").arg(index + 1).arg(shown);
}

MenuPlan planMenu(const QList<bool> &itemIsSeparator, int menuPosition, int entryCount)
{
    MenuPlan plan;
    QList<bool> items = itemIsSeparator;
    int i = std::clamp(menuPosition, 0, int(items.size()));
    plan.firstEntry = i;
    if (entryCount <= 0)
        return plan;
    if (i > 0 && !items.at(i - 1)) {
        plan.separatorBefore = i;
        items.insert(i, true);
        ++i;
    }
    plan.firstEntry = i;
    for (int k = 0; k < entryCount; ++k)
        items.insert(i++, false);
    if (i < items.size() && !items.at(i))
        plan.separatorAfter = i;
    return plan;
}

int clickedIndex(int clickedPosition, int firstOwnItemPosition, bool firstOwnItemIsSeparator, int listSize)
{
    if (firstOwnItemPosition < 0)
        return -1;
    const int k = clickedPosition - (firstOwnItemPosition + (firstOwnItemIsSeparator ? 1 : 0));
    return k >= 0 && k < listSize ? k : -1;
}

} // namespace MruList
