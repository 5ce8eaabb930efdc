#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <sys/mount.h>
#include <unistd.h>

// A small tmpfs mounted over a folder and filled to the last byte, so that every further
// write fails with ENOSPC as on a full disk. Mounting needs root (the suite runs as root
// under CI); available() says whether it worked. The mount goes away with the object.
class FullDisk
{
public:
    explicit FullDisk(const QString &dir, int sizeKiB = 64)
        : m_dir(dir)
    {
        QDir().mkpath(dir);
        const QByteArray opts = "size=" + QByteArray::number(sizeKiB) + "k";
        m_mounted = ::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, opts.constData()) == 0;
    }
    ~FullDisk()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir).constData(), MNT_DETACH);
    }
    bool available() const { return m_mounted; }

    // Fills the file system: nothing more can be written until release().
    void fill()
    {
        QFile f(m_dir + QStringLiteral("/.filler"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray block(1024, 'x');
        while (f.write(block) > 0) { }
        for (int i = 0; f.write(block.left(1)) > 0 && i < 4096; ++i) { }
    }
    void release() { QFile::remove(m_dir + QStringLiteral("/.filler")); }

private:
    QString m_dir;
    bool m_mounted = false;
};
