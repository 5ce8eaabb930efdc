// A small ICMP echo responder for the network test kit. It runs in a target namespace whose
// kernel ignores echoes, and answers by rule per destination address: after a delay, only
// the first N requests, every K-th one dropped, or from another source address. Hostile
// answers too: a reply with a wrong checksum (badsum), a "host unreachable" error quoting
// the request instead of a reply (error; with badsum its own checksum is wrong, with
// badquote the quoted request's checksum is), and, beside the proper answers, a flood of
// replies that answer no request (flood=RATE packets a second, with the identifier of the
// latest request and sequence numbers far from it, for as long as requests keep coming). Every request it sees is
// logged as "dst ttl size data-hex id seq". SIGHUP resets the answer counters.
//
//   netkit_responder --log FILE --rule ADDR[:delay=MS][,answer=N][,drop=K][,from=ADDR]
//                    [,badsum][,error][,badquote][,flood=RATE] ...

#include <arpa/inet.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <queue>
#include <string>
#include <vector>

namespace {

struct Rule
{
    int delayMs = 0;
    long answer = -1; // answer only the first N requests (-1 = all)
    int dropEvery = 0; // drop every K-th request (0 = none)
    in_addr_t from = 0;
    bool badSum = false;
    bool error = false;
    bool badQuote = false;
    long floodRate = 0;
    long seen = 0;
};

// The flood under way: replies to the latest request's sender that match none of its echoes.
struct Flood
{
    long rate = 0;
    in_addr_t src = 0, dst = 0;
    std::uint16_t id = 0, seq = 0;
    std::chrono::steady_clock::time_point start, lastRequest;
    long sent = 0;
};

struct Pending
{
    std::chrono::steady_clock::time_point due;
    std::vector<unsigned char> packet; // full IP packet of the reply
    in_addr_t dst;
    bool operator>(const Pending &o) const { return due > o.due; }
};

volatile sig_atomic_t g_reset = 0;
void onHup(int)
{
    g_reset = 1;
}

std::uint16_t checksum(const unsigned char *d, size_t n)
{
    std::uint32_t s = 0;
    for (size_t i = 0; i + 1 < n; i += 2)
        s += std::uint32_t(d[i]) << 8 | d[i + 1];
    if (n & 1)
        s += std::uint32_t(d[n - 1]) << 8;
    while (s >> 16)
        s = (s & 0xFFFF) + (s >> 16);
    return htons(std::uint16_t(~s));
}

in_addr_t parseAddr(const std::string &s)
{
    in_addr a {};
    if (inet_pton(AF_INET, s.c_str(), &a) != 1) {
        std::fprintf(stderr, "bad address %s\n", s.c_str());
        std::exit(2);
    }
    return a.s_addr;
}

} // namespace

int main(int argc, char **argv)
{
    std::map<in_addr_t, Rule> rules;
    FILE *log = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--log" && i + 1 < argc) {
            log = std::fopen(argv[++i], "a");
        } else if (a == "--rule" && i + 1 < argc) {
            std::string r = argv[++i];
            const auto colon = r.find(':');
            Rule rule;
            const in_addr_t addr = parseAddr(r.substr(0, colon));
            std::string opts = colon == std::string::npos ? "" : r.substr(colon + 1);
            size_t pos = 0;
            while (pos < opts.size()) {
                size_t comma = opts.find(',', pos);
                if (comma == std::string::npos)
                    comma = opts.size();
                const std::string kv = opts.substr(pos, comma - pos);
                const auto eq = kv.find('=');
                const std::string k = kv.substr(0, eq), v = eq == std::string::npos ? "" : kv.substr(eq + 1);
                if (k == "delay")
                    rule.delayMs = std::atoi(v.c_str());
                else if (k == "answer")
                    rule.answer = std::atol(v.c_str());
                else if (k == "drop")
                    rule.dropEvery = std::atoi(v.c_str());
                else if (k == "from")
                    rule.from = parseAddr(v);
                else if (k == "badsum")
                    rule.badSum = true;
                else if (k == "error")
                    rule.error = true;
                else if (k == "badquote")
                    rule.badQuote = true;
                else if (k == "flood")
                    rule.floodRate = std::atol(v.c_str());
                pos = comma + 1;
            }
            rules[addr] = rule;
        }
    }
    signal(SIGHUP, onHup);

    const int rx = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    const int tx = socket(AF_INET, SOCK_RAW, IPPROTO_RAW); // IP_HDRINCL implied
    if (rx < 0 || tx < 0) {
        std::perror("socket");
        return 1;
    }
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> queue;
    unsigned char buf[65536];
    Flood flood;
    for (;;) {
        if (g_reset) {
            g_reset = 0;
            for (auto &[addr, r] : rules)
                r.seen = 0;
        }
        int timeout = -1;
        const auto now = std::chrono::steady_clock::now();
        while (!queue.empty() && queue.top().due <= now) {
            const Pending &p = queue.top();
            sockaddr_in to {};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = p.dst;
            sendto(tx, p.packet.data(), p.packet.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
            queue.pop();
        }
        if (!queue.empty())
            timeout = int(std::chrono::duration_cast<std::chrono::milliseconds>(queue.top().due - now).count()) + 1;
        if (flood.rate > 0) {
            if (now - flood.lastRequest > std::chrono::seconds(2)) {
                flood.rate = 0;
            } else {
                // Catch up with the rate, in bounded steps so that requests are still read.
                const double elapsed = std::chrono::duration<double>(now - flood.start).count();
                long due = long(elapsed * double(flood.rate)) - flood.sent;
                due = std::min(due, 5000L);
                unsigned char packet[sizeof(iphdr) + sizeof(icmphdr) + 56] = {};
                auto *rip = reinterpret_cast<iphdr *>(packet);
                rip->version = 4;
                rip->ihl = 5;
                rip->ttl = 64;
                rip->protocol = IPPROTO_ICMP;
                rip->saddr = flood.src;
                rip->daddr = flood.dst;
                rip->tot_len = htons(std::uint16_t(sizeof packet));
                auto *ricmp = reinterpret_cast<icmphdr *>(packet + sizeof(iphdr));
                ricmp->type = ICMP_ECHOREPLY;
                ricmp->un.echo.id = flood.id;
                sockaddr_in to {};
                to.sin_family = AF_INET;
                to.sin_addr.s_addr = flood.dst;
                for (long i = 0; i < due; ++i, ++flood.sent) {
                    // Half the sequence space away from the echoes in flight.
                    ricmp->un.echo.sequence = htons(std::uint16_t(flood.seq + 0x8000 + (flood.sent & 0x3FFF)));
                    ricmp->checksum = 0;
                    ricmp->checksum = checksum(packet + sizeof(iphdr), sizeof packet - sizeof(iphdr));
                    sendto(tx, packet, sizeof packet, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
                }
                timeout = timeout < 0 ? 1 : std::min(timeout, 1);
            }
        }
        pollfd pfd { rx, POLLIN, 0 };
        const int pr = poll(&pfd, 1, timeout);
        if (pr <= 0)
            continue;
        const ssize_t n = recv(rx, buf, sizeof buf, 0);
        if (n < ssize_t(sizeof(iphdr)))
            continue;
        const auto *ip = reinterpret_cast<const iphdr *>(buf);
        const size_t ihl = ip->ihl * 4;
        if (size_t(n) < ihl + sizeof(icmphdr))
            continue;
        const auto *icmp = reinterpret_cast<const icmphdr *>(buf + ihl);
        if (icmp->type != ICMP_ECHO)
            continue;
        auto it = rules.find(ip->daddr);
        if (it == rules.end())
            continue;
        Rule &rule = it->second;
        const size_t dataLen = size_t(n) - ihl - sizeof(icmphdr);
        if (log) {
            char dst[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &ip->daddr, dst, sizeof dst);
            std::fprintf(log, "%s %d %zu ", dst, int(ip->ttl), dataLen);
            for (size_t i = 0; i < dataLen; ++i)
                std::fprintf(log, "%02x", buf[ihl + sizeof(icmphdr) + i]);
            std::fprintf(log, " %u %u\n", unsigned(ntohs(icmp->un.echo.id)), unsigned(ntohs(icmp->un.echo.sequence)));
            std::fflush(log);
        }
        ++rule.seen;
        if (rule.floodRate > 0) {
            const auto at = std::chrono::steady_clock::now();
            if (flood.rate == 0) {
                flood.start = at;
                flood.sent = 0;
            }
            flood.rate = rule.floodRate;
            flood.src = ip->daddr;
            flood.dst = ip->saddr;
            flood.id = icmp->un.echo.id;
            flood.seq = ntohs(icmp->un.echo.sequence);
            flood.lastRequest = at;
        }
        if (rule.answer >= 0 && rule.seen > rule.answer)
            continue;
        if (rule.dropEvery > 0 && rule.seen % rule.dropEvery == 0)
            continue;

        const size_t icmpLen = size_t(n) - ihl;
        Pending p;
        if (rule.error) {
            // "Host unreachable" from the target itself, quoting the request's IP header and
            // the whole of its ICMP message.
            const size_t quoted = ihl + icmpLen;
            p.packet.resize(sizeof(iphdr) + sizeof(icmphdr) + quoted);
            auto *rip = reinterpret_cast<iphdr *>(p.packet.data());
            rip->version = 4;
            rip->ihl = 5;
            rip->ttl = 64;
            rip->protocol = IPPROTO_ICMP;
            rip->saddr = ip->daddr;
            rip->daddr = ip->saddr;
            rip->tot_len = htons(std::uint16_t(p.packet.size()));
            unsigned char *inner = p.packet.data() + sizeof(iphdr) + sizeof(icmphdr);
            std::memcpy(inner, buf, quoted);
            if (rule.badQuote)
                reinterpret_cast<icmphdr *>(inner + ihl)->checksum ^= 0x0101;
            auto *ricmp = reinterpret_cast<icmphdr *>(p.packet.data() + sizeof(iphdr));
            ricmp->type = ICMP_DEST_UNREACH;
            ricmp->code = ICMP_HOST_UNREACH;
            ricmp->checksum = 0;
            ricmp->checksum = checksum(p.packet.data() + sizeof(iphdr), sizeof(icmphdr) + quoted);
            if (rule.badSum)
                ricmp->checksum ^= 0x0101;
            p.dst = ip->saddr;
            p.due = std::chrono::steady_clock::now() + std::chrono::milliseconds(rule.delayMs);
            queue.push(std::move(p));
            continue;
        }
        p.packet.resize(sizeof(iphdr) + icmpLen);
        auto *rip = reinterpret_cast<iphdr *>(p.packet.data());
        rip->version = 4;
        rip->ihl = 5;
        rip->ttl = 64;
        rip->protocol = IPPROTO_ICMP;
        rip->saddr = rule.from ? rule.from : ip->daddr;
        rip->daddr = ip->saddr;
        rip->tot_len = htons(std::uint16_t(p.packet.size()));
        std::memcpy(p.packet.data() + sizeof(iphdr), buf + ihl, icmpLen);
        auto *ricmp = reinterpret_cast<icmphdr *>(p.packet.data() + sizeof(iphdr));
        ricmp->type = ICMP_ECHOREPLY;
        ricmp->checksum = 0;
        ricmp->checksum = checksum(p.packet.data() + sizeof(iphdr), icmpLen);
        if (rule.badSum)
            ricmp->checksum ^= 0x0101;
        p.dst = ip->saddr;
        p.due = std::chrono::steady_clock::now() + std::chrono::milliseconds(rule.delayMs);
        queue.push(std::move(p));
    }
}
