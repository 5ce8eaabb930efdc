#include "boundedread.h"

#include "skylarkerror.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BoundedRead {

namespace {
QString sentence(const QString &fileName, const QString &clause)
{
    return QStringLiteral("Cannot open file \"%1\": %2.").arg(fileName, clause);
}

QString systemClause(int error)
{
    return asClause(qt_error_string(error));
}

QString tooLarge(qint64 maxSize)
{
    if (maxSize % (1024 * 1024) == 0)
        return QStringLiteral("it is larger than %1 MiB").arg(maxSize / (1024 * 1024));
    return QStringLiteral("it is larger than %1 bytes").arg(maxSize);
}

// Why a file of this kind is not read, or an empty text for a regular file.
QString refusal(const struct stat &st, qint64 maxSize)
{
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("it is a folder");
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("it is not a regular file");
    if (st.st_size > maxSize)
        return tooLarge(maxSize);
    return QString();
}

class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};
} // namespace

Result read(const QString &fileName, qint64 maxSize)
{
    Result r;
    const QByteArray path = QFile::encodeName(fileName);
    // Looked at before it is opened, so that a device is never even opened...
    struct stat st = {};
    if (fileName.isEmpty() || ::stat(path.constData(), &st) != 0) {
        const int error = fileName.isEmpty() ? ENOENT : errno;
        r.missing = error == ENOENT || error == ENOTDIR;
        r.error = sentence(fileName, systemClause(error));
        return r;
    }
    if (const QString why = refusal(st, maxSize); !why.isEmpty()) {
        r.error = sentence(fileName, why);
        return r;
    }
    // ...and again once open, in case the name was pointed elsewhere in between. O_NONBLOCK
    // keeps the open itself from waiting for a FIFO's writer.
    int fd;
    do
        fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        r.missing = errno == ENOENT;
        r.error = sentence(fileName, systemClause(errno));
        return r;
    }
    const Descriptor file(fd);
    if (::fstat(fd, &st) != 0) {
        r.error = sentence(fileName, systemClause(errno));
        return r;
    }
    if (const QString why = refusal(st, maxSize); !why.isEmpty()) {
        r.error = sentence(fileName, why);
        return r;
    }
    // One allocation for a file that keeps its size; a file that grows is read up to one
    // byte past the limit, which is enough to refuse it.
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    qsizetype have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (have > maxSize)
                break;
            const qsizetype more = qMin<qint64>(qMax<qsizetype>(have / 2, 4096), maxSize + 1 - have);
            bytes.resize(have + more);
        }
        const ssize_t n = ::read(fd, bytes.data() + have, size_t(bytes.size() - have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            r.error = sentence(fileName, systemClause(errno));
            return r;
        }
        if (n == 0)
            break;
        have += n;
    }
    if (have > maxSize) {
        r.error = sentence(fileName, tooLarge(maxSize));
        return r;
    }
    bytes.truncate(have);
    r.bytes = std::move(bytes);
    return r;
}

QByteArray readOrThrow(const QString &fileName, qint64 maxSize)
{
    Result r = read(fileName, maxSize);
    if (!r.ok())
        throw SkylarkError(r.error);
    return std::move(r.bytes);
}

} // namespace BoundedRead
