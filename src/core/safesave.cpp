#include "safesave.h"

#include "skylarkerror.h"

#include <QSaveFile>

#include <cerrno>
#include <unistd.h>

namespace SafeSave {

bool tryWrite(const QString &fileName, const QByteArray &bytes)
{
    QSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    // QSaveFile buffers: a write can report the full length and fail only when the buffer is
    // flushed, and commit() does not notice such a late failure. Check every stage ourselves.
    bool ok = f.write(bytes) == bytes.size() && f.flush() && f.error() == QFileDevice::NoError;
    if (ok) {
        const int fd = f.handle();
        // Delayed allocation can report a full disk only here; file systems that cannot sync
        // (EINVAL, EROFS on special files) have nothing to lose by it.
        if (fd >= 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
            ok = false;
    }
    if (!ok) {
        f.cancelWriting();
        return false;
    }
    return f.commit() && f.error() == QFileDevice::NoError;
}

void write(const QString &fileName, const QByteArray &bytes)
{
    if (!tryWrite(fileName, bytes))
        throw SkylarkError(QStringLiteral("Unable to write to %1").arg(fileName));
}

} // namespace SafeSave
