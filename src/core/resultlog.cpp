#include "resultlog.h"

#include "hoststate.h"

#include "skylarkerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    return "time,host,address,outcome,rtt_ms,from,label\n";
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
    b += ',' + field(HostText::split(o.host).label) + '\n';
    return b;
}

QString ResultLog::fileName(const QString &host)
{
    QString name;
    for (const QChar c : host.trimmed().toLower()) {
        const bool keep = (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') || c == QLatin1Char('-')
            || c == QLatin1Char('_');
        name += keep ? c : QLatin1Char('_');
    }
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name.prepend(QLatin1Char('_'));
    return name.left(200) + QStringLiteral(".csv");
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
