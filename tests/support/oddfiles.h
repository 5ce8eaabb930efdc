#pragma once

#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

// Files that are not what a list, session or settings file should be, made at a path for a
// test: a folder, a FIFO nobody writes to, a link to /dev/zero, a file one byte over the
// reading limit (sparse, so it costs no disk), a link that leads nowhere and a link to itself.
// kind is one of "folder", "fifo", "devzero", "huge", "dangling", "loop"; returns false when
// the file could not be made.
inline bool makeSpecialFile(const QString &path, const QString &kind, qint64 hugeSize = 16 * 1024 * 1024 + 1)
{
    const QByteArray p = QFile::encodeName(path);
    if (kind == QStringLiteral("folder"))
        return ::mkdir(p.constData(), 0755) == 0;
    if (kind == QStringLiteral("fifo"))
        return ::mkfifo(p.constData(), 0644) == 0;
    if (kind == QStringLiteral("devzero"))
        return ::symlink("/dev/zero", p.constData()) == 0;
    if (kind == QStringLiteral("dangling"))
        return ::symlink("gone-for-good", p.constData()) == 0;
    if (kind == QStringLiteral("loop"))
        return ::symlink(QFile::encodeName(path.section(u'/', -1)).constData(), p.constData()) == 0;
    if (kind == QStringLiteral("huge")) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.resize(hugeSize);
    }
    return false;
}

// The reason the reader gives for each kind, as the tail of its message.
inline QString specialFileReason(const QString &kind)
{
    if (kind == QStringLiteral("folder"))
        return QStringLiteral("it is a folder.");
    if (kind == QStringLiteral("huge"))
        return QStringLiteral("it is larger than 16 MiB.");
    if (kind == QStringLiteral("dangling"))
        return QStringLiteral("no such file or directory.");
    if (kind == QStringLiteral("loop"))
        return QStringLiteral("too many levels of symbolic links.");
    return QStringLiteral("it is not a regular file.");
}
