#include "skylarkerror.h"

#include <QDebug>

SkylarkError::SkylarkError(const QString &message)
    : std::runtime_error(message.toStdString())
    , m_message(message)
{
}

namespace ErrorDisplay {
namespace {
Sink &currentSink()
{
    static Sink sink;
    return sink;
}
} // namespace

void setSink(Sink sink)
{
    currentSink() = std::move(sink);
}

Sink sink()
{
    return currentSink();
}

void show(const QString &message)
{
    if (currentSink())
        currentSink()(message);
    else
        qWarning().noquote() << message;
}
} // namespace ErrorDisplay

void runGuarded(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const SkylarkError &e) {
        ErrorDisplay::show(e.message());
    }
}

QString asClause(const QString &detail)
{
    QString t = detail.trimmed();
    while (t.endsWith(u'.'))
        t.chop(1);
    // Lower the first letter of a word, not of an acronym ("EIO", "I/O").
    if (t.size() > 1 && t[0].isUpper() && t[1].isLower())
        t[0] = t[0].toLower();
    return t.isEmpty() ? QStringLiteral("unknown error") : t;
}
