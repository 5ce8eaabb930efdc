#include "safesave.h"

#include "boundedread.h"
#include "skylarkerror.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <ctime>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeSave {

namespace {

constexpr auto kTempMark = ".skylark-save-";

// Links followed before a chain counts as a loop, as the kernel counts them.
constexpr int kMaxLinks = 40;

// The end of fileName's chain of links, or nothing when the name may not be written.
std::optional<QByteArray> resolve(const QByteArray &fileName)
{
    QByteArray path = fileName;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat st = {};
        if (::lstat(path.constData(), &st) != 0)
            return errno == ENOENT ? std::optional(path) : std::nullopt; // a new file, or a dangling link's target
        if (S_ISREG(st.st_mode))
            return path;
        if (!S_ISLNK(st.st_mode))
            return std::nullopt;
        QByteArray to(qsizetype(st.st_size > 0 ? st.st_size : 4096) + 1, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), to.data(), size_t(to.size()));
        if (n <= 0 || n >= to.size())
            return std::nullopt; // gone meanwhile, or changed length
        to.truncate(n);
        const qsizetype slash = path.lastIndexOf('/');
        path = to.startsWith('/') || slash < 0 ? to : path.left(slash + 1) + to;
    }
    return std::nullopt;
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray tempNameFor(const QByteArray &path)
{
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(6, Qt::Uninitialized);
    for (char &c : suffix)
        c = kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))];
    const qsizetype slash = path.lastIndexOf('/');
    return path.left(slash + 1) + '.' + path.mid(slash + 1) + kTempMark + suffix;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    // Delayed allocation can report a full disk only here; file systems that cannot sync
    // (EINVAL) have nothing to lose by it.
    return ::fsync(fd) == 0 || errno == EINVAL;
}

bool closeChecked(int fd)
{
    return ::close(fd) == 0 || errno == EINTR;
}

// Gives the unnamed file a temporary name beside the target; returns that name, or empty.
QByteArray nameUnnamed(int fd, const QByteArray &path)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QByteArray temp = tempNameFor(path);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, temp.constData(), AT_SYMLINK_FOLLOW) == 0)
            return temp;
        if (errno != EEXIST)
            break;
    }
    return {};
}

// A named temporary file beside the target, made with the given mode (less the umask).
int openNamed(const QByteArray &path, mode_t mode, QByteArray *temp)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        *temp = tempNameFor(path);
        const int fd = ::open(temp->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// unnamedFirst: try an unnamed temporary file first. *linkFailed tells that the unnamed file
// was written but could not be given a name (no /proc), so that a named one may be tried.
bool replace(const QByteArray &path, const QByteArray &bytes, bool unnamedFirst = true, bool *linkFailed = nullptr)
{
    struct stat st = {};
    const bool exists = ::stat(path.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        return false;
    // A new file gets the usual mode less the umask; a replaced one keeps its own.
    const mode_t mode = exists ? st.st_mode & 0777 : 0666;
    QByteArray temp;
    int fd = unnamedFirst ? ::open(folderOf(path).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode) : -1;
    const bool unnamed = fd >= 0;
    if (!unnamed)
        fd = openNamed(path, mode, &temp);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes) && (!exists || ::fchmod(fd, mode) == 0);
    if (ok && unnamed) {
        temp = nameUnnamed(fd, path);
        ok = !temp.isEmpty();
        if (!ok && linkFailed)
            *linkFailed = true;
    }
    ok = closeChecked(fd) && ok;
    if (ok && ::rename(temp.constData(), path.constData()) != 0)
        ok = false;
    if (!ok) {
        if (!temp.isEmpty())
            ::unlink(temp.constData());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(folderOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace

QString target(const QString &fileName)
{
    if (fileName.isEmpty())
        return QString();
    const std::optional<QByteArray> path = resolve(QFile::encodeName(fileName));
    return path ? QFile::decodeName(*path) : QString();
}

bool tryWrite(const QString &fileName, const QByteArray &bytes)
{
    if (fileName.isEmpty() || bytes.size() > BoundedRead::kMaxFileSize)
        return false;
    const std::optional<QByteArray> path = resolve(QFile::encodeName(fileName));
    if (!path)
        return false;
    bool linkFailed = false;
    return replace(*path, bytes, true, &linkFailed) || (linkFailed && replace(*path, bytes, false));
}

void write(const QString &fileName, const QByteArray &bytes)
{
    if (bytes.size() > BoundedRead::kMaxFileSize) {
        throw SkylarkError(QStringLiteral("Unable to write to %1: it would be %2 bytes, larger than the %3 MiB "
                                          "Skylark reads. The file keeps its previous contents.")
                               .arg(fileName, QString::number(bytes.size()),
                                   QString::number(BoundedRead::kMaxFileSize / (1024 * 1024))));
    }
    if (!tryWrite(fileName, bytes))
        throw SkylarkError(QStringLiteral("Unable to write to %1").arg(fileName));
}

bool isLeftoverName(const QString &name)
{
    // Ours: "." + the target's name + the mark + six characters. Before: the fixed names of
    // our own files with a dot and six characters.
    static const QRegularExpression ours(QStringLiteral(R"(^\..+\.skylark-save-[A-Za-z0-9]{6}$)"));
    static const QRegularExpression before(QStringLiteral(
        R"(^(Skylark\.INI|LoadFile-MRU\.INI|AutoSaveList\.txt|Session_AutoSave\.txt)\.[A-Za-z0-9]{6}$)"));
    return ours.match(name).hasMatch() || before.match(name).hasMatch();
}

int removeLeftovers(const QString &folder)
{
    int removed = 0;
    const QDir dir(folder);
    // A save in progress of another instance is younger than this.
    const time_t settled = ::time(nullptr) - 60;
    const auto names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString &name : names) {
        if (!isLeftoverName(name))
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        struct stat st = {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()
            || st.st_mtime > settled)
            continue;
        if (::unlink(path.constData()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace SafeSave
