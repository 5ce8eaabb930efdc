#pragma once

#include "icmp.h"

#include <QByteArray>
#include <QString>

#include <netinet/in.h>

#include <cstdint>
#include <ctime>
#include <functional>

// The process's one ICMP echo engine, for IPv4 (ICMP) and IPv6 (ICMPv6). It owns the ICMP
// sockets (one per family, kind and don't-fragment setting in use) and keeps every echo in
// flight in one table keyed by sequence number; an answer matches only an echo sent on the
// socket it arrived on, so the families never take each other's answers. The submitting
// thread sends the echo; a single I/O thread waits on the sockets and the nearest time-out,
// matches replies and the routers' errors to their echo and hands each outcome to the echo's
// callback. Nothing is created per echo but the table entry; the thread
// is never joined, so the process can end with echoes in flight.
class EchoService
{
public:
    struct Request
    {
        std::uint32_t target = 0; // network byte order
        std::uint32_t source = 0; // network byte order, 0 = the system chooses
        bool ipv6 = false; // an ICMPv6 echo to target6 (target and source unused)
        in6_addr target6 {};
        std::uint32_t scope6 = 0; // the zone's interface index, 0 = none
        in6_addr source6 {}; // :: = the system chooses
        QByteArray data; // the request's data bytes
        int ttl = 64; // 1 to 255 (IPv6: the hop limit); anything else leaves the system's default
        bool dontFragment = false;
        int timeoutMs = 4000;
        TICMP::SocketKind sockets = TICMP::SocketKind::Auto;
    };

    struct Outcome
    {
        int replies = 0; // 1 with a reply (or a router's error), 0 without
        std::uint32_t from = 0; // network byte order
        in6_addr from6 {}; // an IPv6 echo's answer comes from here
        std::uint32_t fromScope = 0;
        std::uint32_t status = 0; // IP status of the reply
        std::uint32_t rttMs = 0; // whole milliseconds of rttUs
        std::uint32_t rttUs = 0;
        bool stamped = false; // rttUs comes from the kernel's receive stamp
        int dataSize = 0;
        std::uint32_t error = 0; // without a reply
        QString errorText; // empty: the standard text of error
        QString kind; // "ping", "raw", or empty when no socket could be opened
    };

    // Runs on the service's thread (or on the submitting thread, before submit returns, when
    // the echo could not be sent); it must be quick and must not submit and wait.
    using Done = std::function<void(const Outcome &)>;

    struct Counters
    {
        std::uint64_t submitted = 0;
        std::uint64_t sent = 0; // requests the kernel accepted
        std::uint64_t replies = 0; // echo replies matched to their echo
        std::uint64_t errors = 0; // routers' errors matched to their echo
        std::uint64_t timedOut = 0;
        std::uint64_t failed = 0; // not sent: no socket, bad target, send error
        std::uint64_t late = 0; // answers to no echo in flight (timed out before), dropped
        std::uint64_t corrupt = 0; // raw socket: a wrong checksum, or an error quoting another request
        std::uint64_t completed = 0; // outcomes handed to their callback
    };

    static EchoService &instance();

    // From any thread. done is called exactly once.
    void submit(Request request, Done done);

    Counters counters() const;
    int inFlight() const;
    // The sequence number the next echo will carry (numbers still in flight are skipped).
    void setNextSequence(std::uint16_t seq);

    // The round trip in microseconds: from the send time to the kernel's receive stamp, both
    // read from the real-time clock, when there is a stamp and that figure is neither negative
    // nor beyond the time-out (a clock step between the two); else the monotonic measurement.
    // `stamped` says which.
    static std::uint32_t roundTripUs(const timespec &sentReal, const timespec *stamp, std::int64_t monotonicUs,
        int timeoutMs, bool *stamped = nullptr);

    EchoService(const EchoService &) = delete;
    EchoService &operator=(const EchoService &) = delete;

private:
    EchoService();
    ~EchoService() = delete; // lives until the process ends
    struct Impl;
    Impl *d;
};
