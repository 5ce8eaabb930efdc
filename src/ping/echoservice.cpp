#include "echoservice.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <linux/filter.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip6.h>
#include <netinet/ip_icmp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kStatusTimedOut = 11010;
constexpr std::uint32_t kStatusNoResources = 11006;
constexpr std::uint32_t kStatusGeneralFailure = 11050;

std::uint16_t checksum(const unsigned char *data, std::size_t len)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < len; i += 2)
        sum += std::uint32_t(data[i]) << 8 | data[i + 1];
    if (len & 1)
        sum += std::uint32_t(data[len - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return htons(static_cast<std::uint16_t>(~sum));
}

// IP status of an ICMP error, as Windows' echo service reports it.
std::uint32_t statusOf(int type, int code)
{
    switch (type) {
    case ICMP_DEST_UNREACH:
        switch (code) {
        case ICMP_NET_UNREACH:
        case ICMP_NET_UNKNOWN:
            return 11002;
        case ICMP_HOST_UNREACH:
        case ICMP_HOST_UNKNOWN:
            return 11003;
        case ICMP_PROT_UNREACH:
            return 11004;
        case ICMP_PORT_UNREACH:
            return 11005;
        case ICMP_FRAG_NEEDED:
            return 11009;
        default:
            return 11018;
        }
    case ICMP_TIME_EXCEEDED:
        return code == ICMP_EXC_FRAGTIME ? 11014 : 11013;
    case ICMP_PARAMETERPROB:
        return 11015;
    case ICMP_SOURCE_QUENCH:
        return 11016;
    default:
        return kStatusGeneralFailure;
    }
}

// IP status of an ICMPv6 error: the IPv4 status of the nearest meaning, so that an IPv6 host
// shows and logs as its IPv4 counterpart would.
//
//   ICMPv6 type, code                                      status
//   1 destination unreachable, 0 no route                  11002 net unreachable
//   1, 3 address unreachable                               11003 host unreachable
//   1, 4 port unreachable                                  11005 port unreachable
//   1, 1 administratively prohibited, 2 beyond the scope   11018 bad destination (as IPv4's
//      of the source, 5 source policy, 6 reject route,           "other unreachable codes")
//      7 source routing header, others
//   2 packet too big                                       11009 packet too big
//   3 time exceeded, 0 hop limit                           11013 TTL expired in transit
//   3, 1 fragment reassembly                               11014 TTL expired in reassembly
//   4 parameter problem (any code)                         11015 parameter problem
//   anything else                                          11050 general failure
std::uint32_t statusOf6(int type, int code)
{
    switch (type) {
    case ICMP6_DST_UNREACH:
        switch (code) {
        case ICMP6_DST_UNREACH_NOROUTE:
            return 11002;
        case ICMP6_DST_UNREACH_ADDR:
            return 11003;
        case ICMP6_DST_UNREACH_NOPORT:
            return 11005;
        default:
            return 11018;
        }
    case ICMP6_PACKET_TOO_BIG:
        return 11009;
    case ICMP6_TIME_EXCEEDED:
        return code == ICMP6_TIME_EXCEED_REASSEMBLY ? 11014 : 11013;
    case ICMP6_PARAM_PROB:
        return 11015;
    default:
        return kStatusGeneralFailure;
    }
}

bool isErrorType6(int type)
{
    return type == ICMP6_DST_UNREACH || type == ICMP6_PACKET_TOO_BIG || type == ICMP6_TIME_EXCEEDED
        || type == ICMP6_PARAM_PROB;
}

bool isErrorType(int type)
{
    return type == ICMP_DEST_UNREACH || type == ICMP_TIME_EXCEEDED || type == ICMP_PARAMETERPROB
        || type == ICMP_SOURCE_QUENCH;
}

// A raw ICMP socket receives a copy of every ICMP packet of the host; this filter lets through
// only echo replies with our identifier, and the error types (checked in full after receipt).
void attachReplyFilter(int fd, std::uint16_t id)
{
    sock_filter code[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0), // X = IP header length
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0), // A = ICMP type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_ECHOREPLY, 0, 2),
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4), // A = identifier
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, id, 4, 5),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_DEST_UNREACH, 3, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_TIME_EXCEEDED, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_PARAMETERPROB, 1, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_SOURCE_QUENCH, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0xFFFF),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    sock_fprog prog { static_cast<unsigned short>(sizeof code / sizeof code[0]), code };
    ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &prog, sizeof prog);
}

// The kernel's receive stamp of a message read with recvmsg, when it carries one.
const timespec *receiveStamp(msghdr &mh, timespec *out)
{
    for (cmsghdr *c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS && c->cmsg_len >= CMSG_LEN(sizeof *out)) {
            std::memcpy(out, CMSG_DATA(c), sizeof *out);
            return out;
        }
    }
    return nullptr;
}

// Room for the receive stamp and the little else a reply may carry.
constexpr std::size_t kReplyControl = 256;

timespec realNow()
{
    timespec t {};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return t;
}

struct Socket
{
    int fd = -1;
    bool raw = false;
    bool dontFragment = false;
    bool v6 = false;
    int hopLimit = -1; // IPv6: the unicast hop limit set on the socket, -1 = the system's
};

struct Entry
{
    int socket = 0;
    std::uint32_t target = 0;
    in6_addr target6 {};
    std::uint16_t checksum = 0; // of the request as sent (raw socket), as an error must quote it
    Clock::time_point sent;
    timespec sentReal {}; // the same moment on the clock of the kernel's receive stamps
    int timeoutMs = 0;
    Clock::time_point deadline;
    EchoService::Done done;
};

struct Submission
{
    EchoService::Request request;
    EchoService::Done done;
};

} // namespace

struct EchoService::Impl
{
    using Ready = std::vector<std::pair<Done, Outcome>>;

    // Echoes are sent by the submitting thread; the I/O thread only waits for the answers and
    // the time-outs. The mutex guards the sockets, the table and the sequence numbers.
    std::mutex mutex;
    int wakeFd = -1;
    std::atomic<int> sequenceOverride { -1 };
    std::atomic<int> inFlight { 0 };
    struct
    {
        std::atomic<std::uint64_t> submitted { 0 }, sent { 0 }, replies { 0 }, errors { 0 }, timedOut { 0 },
            failed { 0 }, late { 0 }, corrupt { 0 }, completed { 0 };
    } counters;

    int epollFd = -1;
    std::vector<Socket> sockets;
    bool pingDenied[2][2] = {}; // per family (IPv6) and don't-fragment setting
    std::unordered_map<std::uint16_t, Entry> table;
    std::set<std::pair<Clock::time_point, std::uint16_t>> deadlines;
    // When the I/O thread will next wake on its own; an echo due later needs no wake-up.
    Clock::time_point wakeAt = Clock::time_point::min();
    std::uint16_t rawId = 0;
    std::uint16_t nextSeq = 1;
    std::vector<unsigned char> packet;
    Ready ioReady; // outcomes the I/O thread hands out once it has let go of the mutex

    void run();
    bool start(Submission &s, Ready &failed);
    int socketFor(TICMP::SocketKind kind, bool dontFragment, bool v6);
    int openSocket(bool raw, bool dontFragment, bool v6);
    bool send6(const Request &r, Socket &sock, std::uint16_t seq, timespec *sentReal);
    void readReplies(int index);
    void readReplies6(int index);
    void readErrorQueue(int index);
    void readErrorQueue6(int index);
    void expire(Clock::time_point now);
    void finish(std::uint16_t seq, Outcome outcome, Clock::time_point at, const timespec *stamp = nullptr);
    void fail(Done &done, const Outcome &outcome, Ready &failed);
    void deliver(const Done &done, const Outcome &outcome);
};

EchoService &EchoService::instance()
{
    // Never destroyed: its thread may still be waiting for echoes when the process ends.
    static EchoService *service = new EchoService();
    return *service;
}

EchoService::EchoService()
    : d(new Impl)
{
    d->epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    d->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event ev {};
    ev.events = EPOLLIN;
    ev.data.u32 = 0xFFFFFFFFu;
    ::epoll_ctl(d->epollFd, EPOLL_CTL_ADD, d->wakeFd, &ev);
    // One identifier for every echo of the process on the raw socket, and the first sequence
    // number, drawn at random each run: a raw socket takes any packet that carries them, so
    // they must not be guessable from outside (the process id and the clock are).
    std::random_device random;
    d->rawId = static_cast<std::uint16_t>(random());
    d->nextSeq = static_cast<std::uint16_t>(random());
    std::thread([impl = d] { impl->run(); }).detach();
}

void EchoService::submit(Request request, Done done)
{
    d->counters.submitted++;
    d->inFlight++;
    Impl::Ready failed;
    bool wake;
    {
        std::lock_guard lock(d->mutex);
        Submission s { std::move(request), std::move(done) };
        wake = d->start(s, failed);
    }
    for (auto &[fn, outcome] : failed)
        d->deliver(fn, outcome);
    // The I/O thread need only hear of an echo that is due before it next wakes on its own.
    if (wake) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(d->wakeFd, &one, sizeof one);
    }
}

EchoService::Counters EchoService::counters() const
{
    Counters c;
    c.submitted = d->counters.submitted;
    c.sent = d->counters.sent;
    c.replies = d->counters.replies;
    c.errors = d->counters.errors;
    c.timedOut = d->counters.timedOut;
    c.failed = d->counters.failed;
    c.late = d->counters.late;
    c.corrupt = d->counters.corrupt;
    c.completed = d->counters.completed;
    return c;
}

int EchoService::inFlight() const
{
    return d->inFlight;
}

void EchoService::setNextSequence(std::uint16_t seq)
{
    d->sequenceOverride = seq;
}

void EchoService::Impl::run()
{
    epoll_event events[64];
    // The thread also wakes at least this often, so that an echo due after that needs no
    // wake-up from the sender: with hundreds of hosts, that is one wake-up fewer per echo.
    constexpr long long kTickMs = 1000;
    for (;;) {
        std::unique_lock lock(mutex);
        const auto now = Clock::now();
        long long timeout = kTickMs;
        if (!deadlines.empty()) {
            // Round up: waking a little early would only mean another wait.
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadlines.begin()->first - now).count();
            timeout = std::clamp<long long>(ms, 0, kTickMs);
        }
        wakeAt = now + std::chrono::milliseconds(timeout);
        lock.unlock();
        const int n = ::epoll_wait(epollFd, events, 64, int(timeout));
        lock.lock();
        if (n < 0 && errno != EINTR)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (int i = 0; i < n; ++i) {
            const std::uint32_t index = events[i].data.u32;
            if (index == 0xFFFFFFFFu) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t r = ::read(wakeFd, &count, sizeof count);
                continue;
            }
            if (events[i].events & EPOLLIN)
                readReplies(int(index));
            if ((events[i].events & EPOLLERR) && !sockets[index].raw)
                readErrorQueue(int(index));
        }
        expire(Clock::now());
        lock.unlock();
        for (auto &[fn, outcome] : ioReady)
            deliver(fn, outcome);
        ioReady.clear();
    }
}

int EchoService::Impl::openSocket(bool raw, bool dontFragment, bool v6)
{
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, (raw ? SOCK_RAW : SOCK_DGRAM) | SOCK_CLOEXEC | SOCK_NONBLOCK,
        v6 ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP));
    if (fd < 0)
        return -1;
    const int on = 1;
    if (v6) {
        if (raw) {
            // The kernel computes and checks the checksum of a raw ICMPv6 socket itself (it
            // covers the IPv6 pseudo-header, which only the kernel knows when sending): a
            // damaged packet is never read. The filter passes echo replies and the errors.
            icmp6_filter filter;
            ICMP6_FILTER_SETBLOCKALL(&filter);
            for (int type :
                { ICMP6_ECHO_REPLY, ICMP6_DST_UNREACH, ICMP6_PACKET_TOO_BIG, ICMP6_TIME_EXCEEDED, ICMP6_PARAM_PROB })
                ICMP6_FILTER_SETPASS(type, &filter);
            ::setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
        } else {
            ::setsockopt(fd, SOL_IPV6, IPV6_RECVERR, &on, sizeof on);
        }
        // IPv6 routers never fragment; the setting decides whether this host may.
        const int pmtu = dontFragment ? IPV6_PMTUDISC_DO : IPV6_PMTUDISC_DONT;
        ::setsockopt(fd, SOL_IPV6, IPV6_MTU_DISCOVER, &pmtu, sizeof pmtu);
        const int dontFrag = dontFragment ? 1 : 0;
        ::setsockopt(fd, SOL_IPV6, IPV6_DONTFRAG, &dontFrag, sizeof dontFrag);
    } else {
        if (raw)
            attachReplyFilter(fd, rawId);
        else
            ::setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on);
        // Windows' IP_FLAG_DF is 0x02 of the flags byte; a socket per setting.
        const int pmtu = dontFragment ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
        ::setsockopt(fd, SOL_IP, IP_MTU_DISCOVER, &pmtu, sizeof pmtu);
    }
    // Every reply carries the moment the kernel received it, on the real-time clock.
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    // Room for a burst of replies from a thousand hosts at once.
    const int buffer = 4 << 20;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockets.push_back({ fd, raw, dontFragment, v6 });
    epoll_event ev {};
    ev.events = EPOLLIN;
    ev.data.u32 = std::uint32_t(sockets.size() - 1);
    ::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev);
    return int(sockets.size() - 1);
}

int EchoService::Impl::socketFor(TICMP::SocketKind kind, bool dontFragment, bool v6)
{
    auto find = [&](bool raw) {
        for (std::size_t i = 0; i < sockets.size(); ++i)
            if (sockets[i].raw == raw && sockets[i].dontFragment == dontFragment && sockets[i].v6 == v6)
                return int(i);
        return -1;
    };
    bool *pingDenied = this->pingDenied[v6];
    int index = -1;
    bool triedPing = false;
    if (kind != TICMP::SocketKind::RawOnly) {
        index = find(false);
        if (index >= 0)
            return index;
        // Once refused, Auto goes straight to the raw socket rather than asking again per echo.
        if (kind == TICMP::SocketKind::PingOnly || !pingDenied[dontFragment]) {
            triedPing = true;
            index = openSocket(false, dontFragment, v6);
            pingDenied[dontFragment] = index < 0;
            if (index >= 0)
                return index;
        }
    }
    if (kind != TICMP::SocketKind::PingOnly) {
        index = find(true);
        if (index < 0)
            index = openSocket(true, dontFragment, v6);
        // Without a raw socket either, ask for the ping socket again: the system may allow it
        // by now.
        if (index < 0 && kind == TICMP::SocketKind::Auto && !triedPing) {
            index = openSocket(false, dontFragment, v6);
            pingDenied[dontFragment] = index < 0;
        }
    }
    return index;
}

void EchoService::Impl::deliver(const Done &done, const Outcome &outcome)
{
    inFlight--;
    counters.completed++;
    try {
        if (done)
            done(outcome);
    } catch (...) {
        // A callback's failure must not end the service.
    }
}

void EchoService::Impl::fail(Done &done, const Outcome &outcome, Ready &failed)
{
    counters.failed++;
    failed.emplace_back(std::move(done), outcome);
}

// Sends the echo and enters it in the table; true when it is now the first to time out.
bool EchoService::Impl::start(Submission &s, Ready &failed)
{
    const Request &r = s.request;
    const int override = sequenceOverride.exchange(-1);
    if (override >= 0)
        nextSeq = std::uint16_t(override);

    Outcome outcome;
    const int index = socketFor(r.sockets, r.dontFragment, r.ipv6);
    if (index < 0) {
        outcome.error = 100;
        outcome.errorText = r.ipv6 ? QStringLiteral("Unable to get IPv6 ICMP handle")
                                   : QStringLiteral("Unable to get IPv4 ICMP handle");
        fail(s.done, outcome, failed);
        return false;
    }
    Socket &sock = sockets[std::size_t(index)];
    outcome.kind = sock.raw ? QStringLiteral("raw") : QStringLiteral("ping");
    if (!r.ipv6 && r.target == 0xFFFFFFFFu) {
        outcome.error = 100;
        outcome.errorText = QStringLiteral("Invalid IPv4 host address");
        fail(s.done, outcome, failed);
        return false;
    }
    if (table.size() >= 0x10000) {
        outcome.error = kStatusNoResources;
        fail(s.done, outcome, failed);
        return false;
    }
    std::uint16_t seq = nextSeq;
    while (table.count(seq))
        ++seq;
    nextSeq = std::uint16_t(seq + 1);

    if (r.ipv6) {
        timespec sentReal {};
        const auto sent = Clock::now();
        if (!send6(r, sock, seq, &sentReal)) {
            switch (errno) {
            case ENETUNREACH:
                outcome.error = 11002;
                break;
            case EHOSTUNREACH:
                outcome.error = 11003;
                break;
            case EMSGSIZE:
                outcome.error = 11009;
                break;
            case ENOBUFS:
            case EAGAIN:
                outcome.error = kStatusNoResources;
                break;
            default:
                outcome.error = kStatusGeneralFailure;
                break;
            }
            fail(s.done, outcome, failed);
            return false;
        }
        counters.sent++;
        Entry e;
        e.socket = index;
        e.target6 = r.target6;
        e.sent = sent;
        e.sentReal = sentReal;
        e.timeoutMs = r.timeoutMs;
        e.deadline = sent + std::chrono::milliseconds(r.timeoutMs < 0 ? 0 : r.timeoutMs);
        e.done = std::move(s.done);
        const auto deadline = e.deadline;
        deadlines.insert({ deadline, seq });
        table.emplace(seq, std::move(e));
        return deadline < wakeAt;
    }

    packet.assign(sizeof(icmphdr) + std::size_t(r.data.size()), 0);
    auto *hdr = reinterpret_cast<icmphdr *>(packet.data());
    hdr->type = ICMP_ECHO;
    hdr->code = 0;
    hdr->un.echo.id = htons(sock.raw ? rawId : 0); // a ping socket puts in its own
    hdr->un.echo.sequence = htons(seq);
    if (!r.data.isEmpty())
        std::memcpy(packet.data() + sizeof(icmphdr), r.data.constData(), std::size_t(r.data.size()));
    hdr->checksum = checksum(packet.data(), packet.size());

    sockaddr_in dst {};
    dst.sin_family = AF_INET;
    dst.sin_addr.s_addr = r.target;
    iovec iov { packet.data(), packet.size() };
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(int)) + CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr mh {};
    mh.msg_name = &dst;
    mh.msg_namelen = sizeof dst;
    mh.msg_iov = &iov;
    mh.msg_iovlen = 1;
    mh.msg_control = control;
    std::size_t controlLen = 0;
    cmsghdr *c = reinterpret_cast<cmsghdr *>(control);
    const int ttl = r.ttl & 0xFF;
    if (ttl != 0) {
        // The TTL of this request only, whatever the shared socket carried before.
        c->cmsg_level = SOL_IP;
        c->cmsg_type = IP_TTL;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &ttl, sizeof ttl);
        controlLen += CMSG_SPACE(sizeof(int));
        c = reinterpret_cast<cmsghdr *>(control + controlLen);
    }
    if (r.source != 0) {
        in_pktinfo info {};
        info.ipi_spec_dst.s_addr = r.source;
        c->cmsg_level = SOL_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof info);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
        controlLen += CMSG_SPACE(sizeof info);
    }
    mh.msg_control = controlLen ? control : nullptr;
    mh.msg_controllen = controlLen;

    const auto sent = Clock::now();
    const timespec sentReal = realNow();
    // A ping socket reports a router's error for one echo also as a pending socket error,
    // which the next send returns instead of sending, whichever echo that is: the error
    // belongs to another echo (it is read from the error queue), so send again. A failure
    // of this echo's own repeats.
    ssize_t rc;
    int tries = sock.raw ? 1 : 3;
    do
        rc = ::sendmsg(sock.fd, &mh, MSG_DONTWAIT);
    while (rc < 0 && (errno == EINTR || (--tries > 0 && errno != EAGAIN && errno != ENOBUFS && errno != EMSGSIZE)));
    if (rc < 0) {
        switch (errno) {
        case ENETUNREACH:
            outcome.error = 11002;
            break;
        case EHOSTUNREACH:
            outcome.error = 11003;
            break;
        case EMSGSIZE:
            outcome.error = 11009;
            break;
        case ENOBUFS:
        case EAGAIN:
            outcome.error = kStatusNoResources;
            break;
        default:
            outcome.error = kStatusGeneralFailure;
            break;
        }
        fail(s.done, outcome, failed);
        return false;
    }
    counters.sent++;
    Entry e;
    e.socket = index;
    e.target = r.target;
    e.checksum = hdr->checksum;
    e.sent = sent;
    e.sentReal = sentReal;
    e.timeoutMs = r.timeoutMs;
    e.deadline = sent + std::chrono::milliseconds(r.timeoutMs < 0 ? 0 : r.timeoutMs);
    e.done = std::move(s.done);
    const auto deadline = e.deadline;
    deadlines.insert({ deadline, seq });
    table.emplace(seq, std::move(e));
    return deadline < wakeAt;
}

// Sends an ICMPv6 echo; false with errno set when it could not be sent.
bool EchoService::Impl::send6(const Request &r, Socket &sock, std::uint16_t seq, timespec *sentReal)
{
    packet.assign(sizeof(icmp6_hdr) + std::size_t(r.data.size()), 0);
    auto *hdr = reinterpret_cast<icmp6_hdr *>(packet.data());
    hdr->icmp6_type = ICMP6_ECHO_REQUEST;
    hdr->icmp6_code = 0;
    hdr->icmp6_id = htons(sock.raw ? rawId : 0); // a ping socket puts in its own
    hdr->icmp6_seq = htons(seq);
    hdr->icmp6_cksum = 0; // the kernel's, on either socket
    if (!r.data.isEmpty())
        std::memcpy(packet.data() + sizeof(icmp6_hdr), r.data.constData(), std::size_t(r.data.size()));

    // The hop limit of this request: a ping socket takes no per-packet hop limit, so it is
    // set on the socket, only when it changes (sends are serialised by the service's mutex).
    const int hops = (r.ttl & 0xFF) != 0 ? (r.ttl & 0xFF) : -1;
    if (hops != sock.hopLimit) {
        if (::setsockopt(sock.fd, SOL_IPV6, IPV6_UNICAST_HOPS, &hops, sizeof hops) != 0)
            return false;
        sock.hopLimit = hops;
    }

    sockaddr_in6 dst {};
    dst.sin6_family = AF_INET6;
    dst.sin6_addr = r.target6;
    dst.sin6_scope_id = r.scope6;
    iovec iov { packet.data(), packet.size() };
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in6_pktinfo))] = {};
    msghdr mh {};
    mh.msg_name = &dst;
    mh.msg_namelen = sizeof dst;
    mh.msg_iov = &iov;
    mh.msg_iovlen = 1;
    if (!IN6_IS_ADDR_UNSPECIFIED(&r.source6)) {
        in6_pktinfo info {};
        info.ipi6_addr = r.source6;
        info.ipi6_ifindex = r.scope6;
        auto *c = reinterpret_cast<cmsghdr *>(control);
        c->cmsg_level = SOL_IPV6;
        c->cmsg_type = IPV6_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof info);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
        mh.msg_control = control;
        mh.msg_controllen = CMSG_SPACE(sizeof info);
    }
    // As for IPv4: a router's error for another echo may come back from this send first.
    *sentReal = realNow();
    ssize_t rc;
    int tries = sock.raw ? 1 : 3;
    do
        rc = ::sendmsg(sock.fd, &mh, MSG_DONTWAIT);
    while (rc < 0 && (errno == EINTR || (--tries > 0 && errno != EAGAIN && errno != ENOBUFS && errno != EMSGSIZE)));
    return rc >= 0;
}

void EchoService::Impl::readReplies6(int index)
{
    const Socket sock = sockets[std::size_t(index)];
    unsigned char buf[2048];
    for (int i = 0; i < 256; ++i) {
        sockaddr_in6 from {};
        iovec iov { buf, sizeof buf };
        alignas(cmsghdr) char control[kReplyControl];
        msghdr mh {};
        mh.msg_name = &from;
        mh.msg_namelen = sizeof from;
        mh.msg_iov = &iov;
        mh.msg_iovlen = 1;
        mh.msg_control = control;
        mh.msg_controllen = sizeof control;
        // Both sockets hand over the ICMPv6 message without the IPv6 header, its checksum
        // checked by the kernel (a damaged one ends this batch with EAGAIN; the next wait
        // comes back for the rest).
        const ssize_t n = ::recvmsg(sock.fd, &mh, MSG_DONTWAIT);
        const auto at = Clock::now();
        timespec stampBuf;
        const timespec *stamp = n >= 0 ? receiveStamp(mh, &stampBuf) : nullptr;
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            continue;
        }
        if (n < ssize_t(sizeof(icmp6_hdr)))
            continue;
        auto mine = [&](std::uint16_t seq) {
            auto it = table.find(seq);
            return it != table.end() && it->second.socket == index;
        };
        const auto *r = reinterpret_cast<const icmp6_hdr *>(buf);
        if (r->icmp6_type == ICMP6_ECHO_REPLY) {
            // The kernel hands a ping socket only replies to its own identifier.
            if (sock.raw && ntohs(r->icmp6_id) != rawId)
                continue;
            const std::uint16_t seq = ntohs(r->icmp6_seq);
            if (!mine(seq)) {
                counters.late++;
                continue;
            }
            Outcome o;
            o.replies = 1;
            o.from6 = from.sin6_addr;
            o.fromScope = from.sin6_scope_id;
            o.dataSize = int(n - ssize_t(sizeof(icmp6_hdr)));
            counters.replies++;
            finish(seq, o, at, stamp);
            continue;
        }
        if (!sock.raw || !isErrorType6(r->icmp6_type))
            continue;
        // An error quotes the request: its IPv6 header, then our echo request.
        const unsigned char *inner = buf + sizeof(icmp6_hdr);
        const ssize_t innerLen = n - ssize_t(sizeof(icmp6_hdr));
        if (innerLen < ssize_t(sizeof(ip6_hdr) + sizeof(icmp6_hdr)))
            continue;
        const auto *iip = reinterpret_cast<const ip6_hdr *>(inner);
        if (iip->ip6_nxt != IPPROTO_ICMPV6)
            continue;
        const auto *q = reinterpret_cast<const icmp6_hdr *>(inner + sizeof(ip6_hdr));
        if (q->icmp6_type != ICMP6_ECHO_REQUEST || ntohs(q->icmp6_id) != rawId)
            continue;
        const std::uint16_t seq = ntohs(q->icmp6_seq);
        if (!mine(seq) || !IN6_ARE_ADDR_EQUAL(&table.at(seq).target6, &iip->ip6_dst)) {
            counters.late++;
            continue;
        }
        Outcome o;
        o.replies = 1;
        o.from6 = from.sin6_addr;
        o.fromScope = from.sin6_scope_id;
        o.status = statusOf6(r->icmp6_type, r->icmp6_code);
        o.dataSize = int(innerLen - ssize_t(sizeof(ip6_hdr) + sizeof(icmp6_hdr)));
        counters.errors++;
        finish(seq, o, at, stamp);
    }
}

void EchoService::Impl::readErrorQueue6(int index)
{
    const Socket sock = sockets[std::size_t(index)];
    unsigned char buf[2048];
    for (int i = 0; i < 256; ++i) {
        // A router's ICMPv6 error for a request of this socket, via IPV6_RECVERR.
        alignas(cmsghdr) char control[512];
        sockaddr_in6 from {};
        iovec iov { buf, sizeof buf };
        msghdr mh {};
        mh.msg_name = &from;
        mh.msg_namelen = sizeof from;
        mh.msg_iov = &iov;
        mh.msg_iovlen = 1;
        mh.msg_control = control;
        mh.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(sock.fd, &mh, MSG_ERRQUEUE | MSG_DONTWAIT);
        const auto at = Clock::now();
        timespec stampBuf;
        const timespec *stamp = n >= 0 ? receiveStamp(mh, &stampBuf) : nullptr;
        if (n < 0)
            return;
        if (n < ssize_t(sizeof(icmp6_hdr)))
            continue;
        const auto *q = reinterpret_cast<const icmp6_hdr *>(buf);
        const std::uint16_t seq = ntohs(q->icmp6_seq);
        for (cmsghdr *c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c)) {
            if (c->cmsg_level != SOL_IPV6 || c->cmsg_type != IPV6_RECVERR)
                continue;
            sock_extended_err ee;
            std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
            if (ee.ee_origin != SO_EE_ORIGIN_ICMP6)
                continue;
            auto it = table.find(seq);
            if (it == table.end() || it->second.socket != index
                || !IN6_ARE_ADDR_EQUAL(&it->second.target6, &from.sin6_addr)) {
                counters.late++;
                break;
            }
            sockaddr_in6 offender;
            std::memcpy(
                &offender, SO_EE_OFFENDER(reinterpret_cast<sock_extended_err *>(CMSG_DATA(c))), sizeof offender);
            Outcome o;
            o.replies = 1;
            o.from6 = offender.sin6_addr;
            o.fromScope = offender.sin6_scope_id;
            o.status = statusOf6(ee.ee_type, ee.ee_code);
            o.dataSize = int(n - ssize_t(sizeof(icmp6_hdr)));
            counters.errors++;
            finish(seq, o, at, stamp);
            break;
        }
    }
}

void EchoService::Impl::finish(std::uint16_t seq, Outcome outcome, Clock::time_point at, const timespec *stamp)
{
    auto it = table.find(seq);
    Entry e = std::move(it->second);
    table.erase(it);
    deadlines.erase({ e.deadline, seq });
    outcome.kind = sockets[std::size_t(e.socket)].raw ? QStringLiteral("raw") : QStringLiteral("ping");
    if (outcome.replies) {
        const auto monotonic = std::chrono::duration_cast<std::chrono::microseconds>(at - e.sent).count();
        outcome.rttUs = roundTripUs(e.sentReal, stamp, monotonic, e.timeoutMs, &outcome.stamped);
        outcome.rttMs = outcome.rttUs / 1000;
    }
    ioReady.emplace_back(std::move(e.done), outcome);
}

std::uint32_t EchoService::roundTripUs(
    const timespec &sentReal, const timespec *stamp, std::int64_t monotonicUs, int timeoutMs, bool *stamped)
{
    const std::int64_t limitUs = std::int64_t(std::max(timeoutMs, 0)) * 1000;
    if (stamped)
        *stamped = false;
    if (stamp) {
        const std::int64_t ns = (std::int64_t(stamp->tv_sec) - std::int64_t(sentReal.tv_sec)) * 1000000000
            + (std::int64_t(stamp->tv_nsec) - std::int64_t(sentReal.tv_nsec));
        if (ns >= 0 && ns / 1000 <= limitUs) {
            if (stamped)
                *stamped = true;
            return std::uint32_t(ns / 1000);
        }
    }
    return std::uint32_t(std::clamp<std::int64_t>(monotonicUs, 0, 0xFFFFFFFF));
}

void EchoService::Impl::expire(Clock::time_point now)
{
    while (!deadlines.empty() && deadlines.begin()->first <= now) {
        const std::uint16_t seq = deadlines.begin()->second;
        Outcome outcome;
        outcome.error = kStatusTimedOut;
        counters.timedOut++;
        finish(seq, outcome, now);
    }
}

void EchoService::Impl::readReplies(int index)
{
    const Socket sock = sockets[std::size_t(index)];
    if (sock.v6) {
        readReplies6(index);
        return;
    }
    unsigned char buf[2048];
    // A bounded batch, so that time-outs and new echoes are not held up by a flood.
    for (int i = 0; i < 256; ++i) {
        sockaddr_in from {};
        iovec iov { buf, sizeof buf };
        alignas(cmsghdr) char control[kReplyControl];
        msghdr mh {};
        mh.msg_name = &from;
        mh.msg_namelen = sizeof from;
        mh.msg_iov = &iov;
        mh.msg_iovlen = 1;
        mh.msg_control = control;
        mh.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(sock.fd, &mh, MSG_DONTWAIT);
        const auto at = Clock::now();
        timespec stampBuf;
        const timespec *stamp = n >= 0 ? receiveStamp(mh, &stampBuf) : nullptr;
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            continue; // a pending socket error, reported once; the error queue says more
        }
        auto mine = [&](std::uint16_t seq) {
            auto it = table.find(seq);
            return it != table.end() && it->second.socket == index;
        };
        if (!sock.raw) {
            // The kernel hands a ping socket only replies to its own identifier.
            if (n < ssize_t(sizeof(icmphdr)))
                continue;
            const auto *r = reinterpret_cast<const icmphdr *>(buf);
            if (r->type != ICMP_ECHOREPLY)
                continue;
            const std::uint16_t seq = ntohs(r->un.echo.sequence);
            if (!mine(seq)) {
                counters.late++;
                continue;
            }
            Outcome o;
            o.replies = 1;
            o.from = from.sin_addr.s_addr;
            o.dataSize = int(n - ssize_t(sizeof(icmphdr)));
            counters.replies++;
            finish(seq, o, at, stamp);
            continue;
        }

        // A raw socket sees every ICMP packet of the host, before the kernel checks it: keep
        // only what answers us and arrived intact.
        if (n < ssize_t(sizeof(iphdr)))
            continue;
        const auto *ip = reinterpret_cast<const iphdr *>(buf);
        const ssize_t ihl = ip->ihl * 4;
        if (n < ihl + ssize_t(sizeof(icmphdr)))
            continue;
        const auto *r = reinterpret_cast<const icmphdr *>(buf + ihl);
        if (r->type != ICMP_ECHOREPLY && !isErrorType(r->type))
            continue;
        if (checksum(buf + ihl, std::size_t(n - ihl)) != 0) {
            counters.corrupt++;
            continue;
        }
        if (r->type == ICMP_ECHOREPLY) {
            if (ntohs(r->un.echo.id) != rawId)
                continue;
            const std::uint16_t seq = ntohs(r->un.echo.sequence);
            if (!mine(seq)) {
                counters.late++;
                continue;
            }
            Outcome o;
            o.replies = 1;
            o.from = ip->saddr;
            o.dataSize = int(n - ihl - ssize_t(sizeof(icmphdr)));
            counters.replies++;
            finish(seq, o, at, stamp);
            continue;
        }
        const unsigned char *inner = buf + ihl + sizeof(icmphdr);
        const ssize_t innerLen = n - ihl - ssize_t(sizeof(icmphdr));
        if (innerLen < ssize_t(sizeof(iphdr)))
            continue;
        const auto *iip = reinterpret_cast<const iphdr *>(inner);
        const ssize_t iihl = iip->ihl * 4;
        if (iip->protocol != IPPROTO_ICMP || innerLen < iihl + 8)
            continue;
        const auto *q = reinterpret_cast<const icmphdr *>(inner + iihl);
        if (q->type != ICMP_ECHO || ntohs(q->un.echo.id) != rawId)
            continue;
        const std::uint16_t seq = ntohs(q->un.echo.sequence);
        if (!mine(seq) || table.at(seq).target != iip->daddr) {
            counters.late++;
            continue;
        }
        // The quote must be the request we sent, not one made up to match its numbers.
        if (q->checksum != table.at(seq).checksum) {
            counters.corrupt++;
            continue;
        }
        Outcome o;
        o.replies = 1;
        o.from = ip->saddr;
        o.status = statusOf(r->type, r->code);
        o.dataSize = int(innerLen - iihl - 8);
        counters.errors++;
        finish(seq, o, at, stamp);
    }
}

void EchoService::Impl::readErrorQueue(int index)
{
    const Socket sock = sockets[std::size_t(index)];
    if (sock.v6) {
        readErrorQueue6(index);
        return;
    }
    unsigned char buf[2048];
    for (int i = 0; i < 256; ++i) {
        // A router's ICMP error for a request of this socket, via IP_RECVERR.
        alignas(cmsghdr) char control[512];
        sockaddr_in from {};
        iovec iov { buf, sizeof buf };
        msghdr mh {};
        mh.msg_name = &from;
        mh.msg_namelen = sizeof from;
        mh.msg_iov = &iov;
        mh.msg_iovlen = 1;
        mh.msg_control = control;
        mh.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(sock.fd, &mh, MSG_ERRQUEUE | MSG_DONTWAIT);
        const auto at = Clock::now();
        timespec stampBuf;
        const timespec *stamp = n >= 0 ? receiveStamp(mh, &stampBuf) : nullptr;
        if (n < 0)
            return;
        if (n < ssize_t(sizeof(icmphdr)))
            continue;
        const auto *q = reinterpret_cast<const icmphdr *>(buf);
        const std::uint16_t seq = ntohs(q->un.echo.sequence);
        for (cmsghdr *c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c)) {
            if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR)
                continue;
            sock_extended_err ee;
            std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
            if (ee.ee_origin != SO_EE_ORIGIN_ICMP)
                continue;
            auto it = table.find(seq);
            if (it == table.end() || it->second.socket != index || it->second.target != from.sin_addr.s_addr) {
                counters.late++;
                break;
            }
            sockaddr_in offender;
            std::memcpy(
                &offender, SO_EE_OFFENDER(reinterpret_cast<sock_extended_err *>(CMSG_DATA(c))), sizeof offender);
            Outcome o;
            o.replies = 1;
            o.from = offender.sin_addr.s_addr;
            o.status = statusOf(ee.ee_type, ee.ee_code);
            o.dataSize = int(n - ssize_t(sizeof(icmphdr)));
            counters.errors++;
            finish(seq, o, at, stamp);
            break;
        }
    }
}
