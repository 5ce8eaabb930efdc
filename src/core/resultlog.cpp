#include "resultlog.h"

#include "hoststate.h"
#include "hostspec.h"

#include "skylarkerror.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray field(const QString &text)
{
    QByteArray b = text.toUtf8();
    if (b.contains(',') || b.contains('"') || b.contains('\n') || b.contains('\r'))
        b = '"' + b.replace("\"", "\"\"") + '"';
    return b;
}

QByteArray isoLocal(const QDateTime &when)
{
    const int offset = when.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    const QString text = when.date().toString(Qt::ISODate) + QLatin1Char('T')
        + when.time().toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char(offset < 0 ? '-' : '+')
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
    return text.toLatin1();
}

} // namespace

QByteArray ResultLog::header()
{
    return "time,host,address,outcome,rtt_ms,from,label,rtt_ms_precise\n";
}

QByteArray ResultLog::line(const EchoOutcome &o)
{
    static const char *const kinds[] = { "reply", "foreign", "timeout" };
    const bool answered = o.kind != EchoOutcome::Timeout;
    QByteArray b = isoLocal(o.when);
    b += ',' + field(o.host) + ',' + field(o.target) + ',' + kinds[o.kind] + ',';
    if (answered)
        b += QByteArray::number(o.rtt) + ',' + field(o.from);
    else
        b += ',';
    b += ',' + field(HostText::split(o.host).label) + ',';
    if (answered) {
        const qint64 us = o.rttMicros();
        b += QByteArray::number(us / 1000) + '.' + QByteArray::number(us % 1000).rightJustified(3, '0');
    }
    b += '\n';
    return b;
}

QString ResultLog::stem(const QString &identity)
{
    if (identity.isEmpty())
        return QStringLiteral("~");
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const char c : identity.toUtf8()) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'
            || (c == '.' && !out.isEmpty());
        if (keep)
            out += c;
        else if (c == ' ')
            out += '_';
        else
            out += '%' + QByteArray(1, hex[uchar(c) >> 4]) + hex[uchar(c) & 15];
    }
    if (out.size() > kMaxStem) {
        const QByteArray sum = QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex();
        qsizetype keep = kMaxStem - 1 - sum.size();
        // Not within a %XX.
        for (qsizetype i = keep - 2; i < keep; ++i)
            if (i >= 0 && out.at(i) == '%')
                keep = i;
        out = out.left(keep) + '~' + sum;
    }
    return QString::fromLatin1(out);
}

QString ResultLog::fileName(const QString &identity, QDate day)
{
    return stem(identity) + u'-' + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".csv");
}

std::optional<QDate> ResultLog::dayOfFile(QByteArrayView name)
{
    static constexpr qsizetype kTail = 15; // "-YYYY-MM-DD.csv"
    if (name.size() <= kTail || name.size() > kMaxStem + kTail || !name.endsWith(".csv"))
        return std::nullopt;
    const QByteArrayView stem = name.first(name.size() - kTail);
    const QByteArrayView tail = name.last(kTail);
    const auto digits = [&tail](qsizetype from, qsizetype count) {
        for (qsizetype i = from; i < from + count; ++i)
            if (tail[i] < '0' || tail[i] > '9')
                return false;
        return true;
    };
    if (tail[0] != '-' || tail[5] != '-' || tail[8] != '-' || !digits(1, 4) || !digits(6, 2) || !digits(9, 2))
        return std::nullopt;
    const QDate day(tail.sliced(1, 4).toInt(), tail.sliced(6, 2).toInt(), tail.sliced(9, 2).toInt());
    if (!day.isValid())
        return std::nullopt;
    if (stem == "~")
        return day;
    // Units of a stem, then the optional '~' and the 64 hex digits of a cut one.
    qsizetype end = stem.size();
    const qsizetype tilde = stem.indexOf('~');
    if (tilde >= 0) {
        if (tilde == 0 || stem.size() - tilde != 65)
            return std::nullopt;
        for (const char c : stem.sliced(tilde + 1))
            if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
                return std::nullopt;
        end = tilde;
    }
    const auto isHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
    if (stem[0] == '.')
        return std::nullopt;
    for (qsizetype i = 0; i < end; ++i) {
        const char c = stem[i];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
            || c == '_')
            continue;
        if (c != '%' || i + 2 >= end || !isHex(stem[i + 1]) || !isHex(stem[i + 2]))
            return std::nullopt;
        i += 2;
    }
    return day;
}

int ResultLog::prune(const QString &dir, QDate firstKept)
{
    // The folder is opened once and everything below is named relative to it, never followed.
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    DIR *d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return 0;
    }
    QList<QByteArray> old;
    while (const dirent *e = ::readdir(d)) {
        const QByteArrayView name(e->d_name);
        if (const auto day = dayOfFile(name); day && *day < firstKept)
            old.append(name.toByteArray());
    }
    int removed = 0;
    for (const QByteArray &name : std::as_const(old)) {
        struct stat st;
        if (::fstatat(fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && ::unlinkat(fd, name.constData(), 0) == 0)
            ++removed;
    }
    ::closedir(d);
    return removed;
}

void LogAppender::add(const QString &file, const QByteArray &line)
{
    for (auto &entry : m_pending) {
        if (entry.first == file) {
            entry.second += line;
            return;
        }
    }
    m_pending.append({ file, line });
}

void LogAppender::flush()
{
    while (!m_pending.isEmpty()) {
        const auto &[path, lines] = m_pending.first();
        const auto fail = [&path] {
            throw SkylarkError(QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path)));
        };
        if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            fail();
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
            fail();
        const QByteArray data = f.size() == 0 ? m_header + lines : lines;
        if (f.write(data) != data.size() || !f.flush())
            fail();
        f.close();
        if (f.error() != QFileDevice::NoError)
            fail();
        m_pending.removeFirst();
    }
}

void RotatingLog::setKeepDays(int days)
{
    if (days == m_keepDays)
        return;
    m_keepDays = days;
    for (Days &d : m_days)
        d.pruned = QDate();
}

void RotatingLog::add(const QString &dir, const EchoOutcome &o)
{
    const QDateTime when = o.when.isValid() ? o.when.toLocalTime() : QDateTime::currentDateTime();
    const QDate day = when.date();
    Days &days = m_days[dir];
    if (!days.newest.isValid() || day > days.newest)
        days.newest = day;
    m_log.add(dir + ResultLog::fileName(HostSpec::parse(o.host).identity, day), ResultLog::line(o));
}

void RotatingLog::flush()
{
    m_log.flush();
    for (auto it = m_days.begin(); it != m_days.end(); ++it) {
        if (it->pruned == it->newest)
            continue;
        it->pruned = it->newest;
        ResultLog::prune(it.key(), it->newest.addDays(-m_keepDays));
    }
}
