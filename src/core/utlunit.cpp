#include "utlunit.h"

#include "version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace UtlUnit {

bool GetFileVersionParts(
    const QString &fileName, std::uint16_t &major, std::uint16_t &minor, std::uint16_t &release, std::uint16_t &build)
{
    major = minor = release = build = 0;
    const QFileInfo file(fileName);
    if (!file.exists() || QCoreApplication::instance() == nullptr)
        return false;
    const QFileInfo self(QCoreApplication::applicationFilePath());
    if (file.canonicalFilePath() != self.canonicalFilePath())
        return false;
    major = SKYLARK_VERSION_MAJOR;
    minor = SKYLARK_VERSION_MINOR;
    release = SKYLARK_VERSION_PATCH;
    build = SKYLARK_VERSION_TWEAK;
    return true;
}

QString GetFileVersionStr(const QString &fileName)
{
    std::uint16_t a, b, c, d;
    if (!GetFileVersionParts(fileName, a, b, c, d))
        return QString();
    return QStringLiteral("%1.%2.%3.%4").arg(a).arg(b).arg(c).arg(d);
}

QString GetTempDirStr()
{
    QString t = QDir::tempPath();
    if (t.isEmpty())
        return QString();
    if (!t.endsWith(u'/'))
        t += u'/';
    return t;
}

namespace {

// Makes path a folder of this user's alone, or checks that it already is one. A name taken by
// another user's folder, a file or a symbolic link fails: in a shared folder anyone could have
// put it there.
bool makePrivateDir(const QString &path)
{
    const QByteArray p = QFile::encodeName(path);
    if (::mkdir(p.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st;
    if (::lstat(p.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    return (st.st_mode & 077) == 0 || ::chmod(p.constData(), 0700) == 0;
}

QString privateTmpIn(const QString &parent, const QString &name)
{
    if (parent.isEmpty())
        return QString();
    const QString base = parent + u'/' + name;
    if (!makePrivateDir(base) || !makePrivateDir(base + QStringLiteral("/TMP")))
        return QString();
    return base + QStringLiteral("/TMP/");
}

} // namespace

QString PrivateTmpDir(const QString &runtimeDir, const QString &tempDir)
{
    QString dir = privateTmpIn(runtimeDir, QStringLiteral("Skylark"));
    if (!dir.isEmpty() || tempDir.isEmpty())
        return dir;
    const QString name = QStringLiteral("Skylark-%1").arg(::geteuid());
    dir = privateTmpIn(tempDir, name);
    if (!dir.isEmpty())
        return dir;
    // The name is taken: a new folder with a unique name, made ours by mkdtemp.
    QByteArray pattern = QFile::encodeName(tempDir + u'/' + name + QStringLiteral("-XXXXXX"));
    if (::mkdtemp(pattern.data()) == nullptr)
        return QString();
    const QString fresh = QFile::decodeName(pattern);
    return makePrivateDir(fresh + QStringLiteral("/TMP")) ? fresh + QStringLiteral("/TMP/") : QString();
}

QString GetPrivateTmpDir()
{
    QString temp = GetTempDirStr();
    temp.chop(1);
    return PrivateTmpDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), temp);
}

std::uint32_t CompilerVersion()
{
#if defined(__clang__)
    return __clang_major__ * 10000 + __clang_minor__ * 100 + __clang_patchlevel__;
#elif defined(__GNUC__)
    return __GNUC__ * 10000 + __GNUC_MINOR__ * 100 + __GNUC_PATCHLEVEL__;
#else
    return 0;
#endif
}

QString GetCompilerName(std::uint32_t version)
{
    if (version == 0)
        return QString();
#if defined(__clang__)
    const QString name = QStringLiteral("Clang");
#else
    const QString name = QStringLiteral("GCC");
#endif
    return QStringLiteral("%1 %2.%3.%4").arg(name).arg(version / 10000).arg(version / 100 % 100).arg(version % 100);
}

} // namespace UtlUnit
