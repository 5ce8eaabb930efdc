#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class ProfileFile;

// The recent-files list without any menu: names most recent first, how they are stored in an
// INI file, and where the menu entries go among the items of the menu that holds them. Names
// are compared exactly, as the file system compares them.
namespace MruList {

inline constexpr int kMaxFilesLimit = 8;
inline constexpr auto kIniSection = "MRU List";

// 0 (or less) gives 1, anything above 8 gives 8.
int clampMaxFiles(int value);

// The name becomes the most recent; a name already at the top leaves the list as it is
// (`changed` tells whether the menu needs rebuilding). The oldest names beyond maxFiles drop.
QStringList addFile(QStringList list, const QString &name, int maxFiles, bool *changed = nullptr);

// Section "MRU List", keys "1".."maxFiles"; reading stops at the first missing or empty key.
QStringList readIni(const ProfileFile &ini, int maxFiles);
// Writes every key "1".."maxFiles", empty values past the end of the list.
void writeIni(ProfileFile &ini, const QStringList &list, int maxFiles);

// The file the list is kept in: the name itself when it has a folder part, a bare name beside
// the program, and without a name the program's path with its extension replaced by ".ini".
QString iniFilePath(const QString &iniFile, const QString &programPath);

// "&1  /path/name": the digit is the entry's access key; an ampersand in the name is doubled
// so that it shows as itself.
QString entryCaption(int index, const QString &name, bool showFullPath);

// Where the entries go, given the owner menu's items (true for a separator) once the
// component's own items are gone.
struct MenuPlan
{
    int separatorBefore = -1; // insert a separator here first, or -1
    int firstEntry = 0; // the entries go at firstEntry, firstEntry + 1, ...
    int separatorAfter = -1; // then a separator here, or -1
};
MenuPlan planMenu(const QList<bool> &itemIsSeparator, int menuPosition, int entryCount);

// The list index of a clicked entry: its position in the menu less the position of the first
// entry (the first of the component's items, one further when that one is a separator); -1
// when it lies outside the list.
int clickedIndex(int clickedPosition, int firstOwnItemPosition, bool firstOwnItemIsSeparator, int listSize);

} // namespace MruList
