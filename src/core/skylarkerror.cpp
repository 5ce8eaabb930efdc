#include "skylarkerror.h"

#include <QDebug>

#include <algorithm>

SkylarkError::SkylarkError(const QString &message)
    : std::runtime_error(message.toStdString())
    , m_message(message)
{
}

namespace {
// The beginning and end of `text` around "…", `length` characters in all, no pair of UTF-16
// halves split.
QString elideMiddle(const QString &text, int length)
{
    if (text.size() <= length)
        return text;
    qsizetype head = std::max(1, length * 2 / 3), tail = std::max(0, length - int(head) - 1);
    if (text.at(head - 1).isHighSurrogate())
        --head;
    if (tail > 0 && text.at(text.size() - tail).isLowSurrogate())
        --tail;
    return text.left(head) + QChar(0x2026) + text.right(tail);
}
} // namespace

namespace Message {
QString excerpt(const QString &text, int length)
{
    QString out = elideMiddle(text, std::max(2, length));
    for (QChar &c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    return out;
}

QString quoted(const QString &text)
{
    return u'"' + excerpt(text) + u'"';
}
} // namespace Message

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

void show(const QString &text)
{
    const QString message = elideMiddle(text, Message::kMaxLength);
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
