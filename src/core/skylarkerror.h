#pragma once

#include <QString>

#include <functional>
#include <stdexcept>

// The one error type the program raises. An operation that cannot go on throws it; the
// application catches it at the event-dispatch boundary and shows its text in one critical
// message box, and the program carries on.
class SkylarkError : public std::runtime_error
{
public:
    explicit SkylarkError(const QString &message);
    QString message() const { return m_message; }

private:
    QString m_message;
};

// A system error text ("Permission denied.") made the tail of one of our sentences:
// "permission denied", so that "Cannot open file \"x\": permission denied." reads as one.
QString asClause(const QString &detail);

// Texts quoted by messages (a file's name, a style's, an address, a host) come from files and
// the user, and may be megabytes long: a message shows a short excerpt of them, so that no box
// has to lay out all of it.
namespace Message {
inline constexpr int kExcerptLength = 120;
// The longest message the error display shows; a longer one loses its middle.
inline constexpr int kMaxLength = 4000;
// The text when it is no longer than `length`, else its beginning and end around "…"; line
// breaks and other control characters show as spaces.
QString excerpt(const QString &text, int length = kExcerptLength);
// The excerpt in double quotes.
QString quoted(const QString &text);
} // namespace Message

namespace ErrorDisplay {
// Where raised errors end up. The user-interface library installs a message box; tests
// install a recorder. Without a sink the text goes to the debug log.
using Sink = std::function<void(const QString &)>;
void setSink(Sink sink);
Sink sink();
// Shows the message, its middle left out when it is longer than Message::kMaxLength.
void show(const QString &message);
} // namespace ErrorDisplay

// Runs fn; a SkylarkError it raises ends it and goes to the error display. Used where a
// user's action enters our code, so an error never unwinds through the toolkit.
void runGuarded(const std::function<void()> &fn);
