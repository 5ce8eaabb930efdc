#pragma once

#include <QString>
#include <QStringList>

// The looks Skylark can switch between: "Windows" is the look the desktop gives the program
// (kept under that name so stored settings apply), "Fusion", and our own "Fusion Dark".
namespace SkylarkStyles {

inline constexpr auto kDefaultName = "Windows";

// The names offered: the default look first, then the others.
QStringList names();
// Applies the named look to every window; the name is matched without regard to case.
// False (and nothing changes) when no look has that name.
bool apply(const QString &name);
// As apply, and a name that is not there is reported: "Style '<name>' not found".
bool applyWithMessage(const QString &name);
// The report of a name that is not there.
QString notFoundMessage(const QString &name);
// The name of the look in force, as names() gives it.
QString current();

} // namespace SkylarkStyles
