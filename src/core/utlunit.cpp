#include "utlunit.h"

#include "version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace UtlUnit {

bool GetFileVersionParts(const QString &fileName, std::uint16_t &major, std::uint16_t &minor,
                         std::uint16_t &release, std::uint16_t &build)
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
