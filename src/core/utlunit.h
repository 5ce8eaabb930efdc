#pragma once

#include <QString>

#include <cstdint>

// Small utilities: the program's version, the temporary directory and the toolchain's name.
namespace UtlUnit {

// The version compiled into Skylark, for Skylark's own program file. Any other file, or a
// missing one, has no version we can read: false, with all four parts 0.
bool GetFileVersionParts(
    const QString &fileName, std::uint16_t &major, std::uint16_t &minor, std::uint16_t &release, std::uint16_t &build);
// "a.b.c.d", or empty when GetFileVersionParts fails.
QString GetFileVersionStr(const QString &fileName);
// The temporary-files directory with its trailing "/" (honours TMPDIR).
QString GetTempDirStr();
// Skylark's own folder for temporary files, with its trailing "/": runtimeDir + "/Skylark/TMP/"
// when there is a runtime folder, else tempDir + "/Skylark-<uid>/TMP/". Each folder it makes is
// the user's own with mode 0700; one that another user made, or a symbolic link, is never used:
// a fresh folder of our own beside it stands in. Empty when nothing could be made.
QString PrivateTmpDir(const QString &runtimeDir, const QString &tempDir);
// PrivateTmpDir for this session's runtime folder and the temporary-files directory.
QString GetPrivateTmpDir();
// The toolchain's version as one number (major * 10000 + minor * 100 + patch).
std::uint32_t CompilerVersion();
// "GCC 12.2.0" or "Clang 14.0.6" for the toolchain that built Skylark; empty for 0.
QString GetCompilerName(std::uint32_t version);

} // namespace UtlUnit
