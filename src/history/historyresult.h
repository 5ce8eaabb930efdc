#pragma once

#include <QString>

#include <QtGlobal>

// One result as the history keeps it.
namespace History {

enum class Kind : quint8 { Reply, Timeout, Foreign, Unreachable, LookupFailed };
constexpr int kKindCount = 5;

// The IP status of an echo that got no answer in time.
constexpr int kStatusTimedOut = 11010;
// The statuses of an ICMP error from a router.
constexpr int kFirstRouterStatus = 11002;
constexpr int kLastRouterStatus = 11050;
// RTTs are kept in microseconds from 0 to this; anything outside is kept at the nearer bound.
constexpr qint64 kMaxRttUs = 0xFFFFFFFFLL;

struct Result
{
    qint64 timeMs = 0; // since the epoch, UTC
    Kind kind = Kind::Timeout;
    int status = kStatusTimedOut;
    qint64 rttUs = 0; // 0 without a reply
    friend bool operator==(const Result &, const Result &) = default;
};

// "reply", "timeout", "foreign", "unreachable", "lookup_failed".
QString kindName(Kind kind);
// Whether the kind is an answer from the host itself.
inline bool isReply(Kind kind)
{
    return kind == Kind::Reply;
}
// The kind of an echo without an answer from the host: an ICMP error from a router is
// `unreachable`, anything else (a time-out, a local error) is `timeout`.
Kind kindOfMiss(int status);

} // namespace History
