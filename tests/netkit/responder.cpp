// A small ICMP echo responder for the network test kit. It runs in a target namespace whose
// kernel ignores echoes, and answers by rule per destination address: after a delay, only
// the first N requests, every K-th one dropped, or from another source address. Every
// request it sees is logged as "dst ttl size data-hex". SIGHUP resets the answer counters.
//
//   netkit_responder --log FILE --rule ADDR[:delay=MS][,answer=N][,drop=K][,from=ADDR] ...

#include <arpa/inet.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

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
    long answer = -1;  // answer only the first N requests (-1 = all)
    int dropEvery = 0; // drop every K-th request (0 = none)
    in_addr_t from = 0;
    long seen = 0;
};

struct Pending
{
    std::chrono::steady_clock::time_point due;
    std::vector<unsigned char> packet;  // full IP packet of the reply
    in_addr_t dst;
    bool operator>(const Pending &o) const { return due > o.due; }
};

volatile sig_atomic_t g_reset = 0;
void onHup(int) { g_reset = 1; }

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
    in_addr a{};
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
                pos = comma + 1;
            }
            rules[addr] = rule;
        }
    }
    signal(SIGHUP, onHup);

    const int rx = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    const int tx = socket(AF_INET, SOCK_RAW, IPPROTO_RAW);  // IP_HDRINCL implied
    if (rx < 0 || tx < 0) {
        std::perror("socket");
        return 1;
    }
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> queue;
    unsigned char buf[65536];
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
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = p.dst;
            sendto(tx, p.packet.data(), p.packet.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
            queue.pop();
        }
        if (!queue.empty())
            timeout = int(std::chrono::duration_cast<std::chrono::milliseconds>(queue.top().due - now).count()) + 1;
        pollfd pfd{rx, POLLIN, 0};
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
            std::fprintf(log, "\n");
            std::fflush(log);
        }
        ++rule.seen;
        if (rule.answer >= 0 && rule.seen > rule.answer)
            continue;
        if (rule.dropEvery > 0 && rule.seen % rule.dropEvery == 0)
            continue;

        const size_t icmpLen = size_t(n) - ihl;
        Pending p;
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
        p.dst = ip->saddr;
        p.due = std::chrono::steady_clock::now() + std::chrono::milliseconds(rule.delayMs);
        queue.push(std::move(p));
    }
}
