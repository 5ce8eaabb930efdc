// What the benchmarks share: CPU time, the kit's distinct answering hosts, and fping run
// beside our figures on the same hosts.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace bench {

// A benchmark's command line: flags and "--name value" options.
class Args
{
public:
    explicit Args(QStringList args)
        : m_args(std::move(args))
    {
    }
    QString value(const QString &name, const QString &def) const
    {
        const qsizetype i = m_args.indexOf(name);
        return i >= 0 && i + 1 < m_args.size() ? m_args.at(i + 1) : def;
    }
    bool has(const QString &flag) const { return m_args.contains(flag); }

private:
    QStringList m_args;
};

// The network benchmarks send only inside the test kit's namespaces.
inline bool insideNetkit()
{
    if (!qEnvironmentVariableIsEmpty("NETKIT"))
        return true;
    std::fprintf(stderr, "run inside tests/netkit/netkit.sh\n");
    return false;
}

inline double cpuSeconds(int who)
{
    rusage ru {};
    getrusage(who, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Distinct hosts for the steady load (up to 8191): 10.77.16.0 to 10.77.47.255, which the
// answering namespace's kernel takes as its own, routed there by the kit's router.
inline QStringList steadyHosts(int n)
{
    static bool routed = false;
    if (!routed) {
        const QString answer = qEnvironmentVariable("NETKIT_NS_ANSWER");
        const QString router = qEnvironmentVariable("NETKIT_NS_ROUTER");
        for (const QString &net : { QStringLiteral("10.77.16.0/20"), QStringLiteral("10.77.32.0/20") }) {
            QProcess::execute(QStringLiteral("ip"),
                { QStringLiteral("-n"), answer, QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("local"),
                    net, QStringLiteral("dev"), QStringLiteral("lo") });
            QProcess::execute(QStringLiteral("ip"),
                { QStringLiteral("-n"), router, QStringLiteral("route"), QStringLiteral("add"), net,
                    QStringLiteral("via"), QStringLiteral("10.77.2.2") });
        }
        routed = true;
    }
    QStringList out;
    for (int i = 0; i < n; ++i)
        out.append(QStringLiteral("10.77.%1.%2").arg(16 + (i + 1) / 256).arg((i + 1) % 256));
    return out;
}

// Distinct IPv6 hosts for the steady load (up to 65535): fd77:20::1 onwards, which the
// answering namespace's kernel takes as its own, routed there by the kit's router.
inline QStringList steadyHosts6(int n)
{
    static bool routed = false;
    if (!routed) {
        const QString net = QStringLiteral("fd77:20::/64");
        QProcess::execute(QStringLiteral("ip"),
            { QStringLiteral("-n"), qEnvironmentVariable("NETKIT_NS_ANSWER"), QStringLiteral("-6"),
                QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("local"), net, QStringLiteral("dev"),
                QStringLiteral("lo") });
        QProcess::execute(QStringLiteral("ip"),
            { QStringLiteral("-n"), qEnvironmentVariable("NETKIT_NS_ROUTER"), QStringLiteral("-6"),
                QStringLiteral("route"), QStringLiteral("add"), net, QStringLiteral("via"),
                QStringLiteral("fd77:2::2") });
        routed = true;
    }
    QStringList out;
    for (int i = 0; i < n; ++i)
        out.append(QStringLiteral("fd77:20::%1").arg(i + 1, 0, 16));
    return out;
}

struct Steady
{
    quint64 sent = 0, replies = 0, delivered = 0, late = 0;
    double cpu = 0, seconds = 0;
};

// fping sending every host one echo a second for the given time, the hosts spread over the
// second, with a frame's time-out and TTL; extra goes before the hosts (such as "-6").
inline Steady fpingSteady(const QStringList &hosts, int seconds, const QStringList &extra = {})
{
    Steady st;
    const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer t;
    t.start();
    QProcess p;
    // One echo a second per host, the hosts spread over the second.
    const QString interval = QString::number(std::max(0.1, 1000.0 / double(hosts.size())), 'f', 2);
    p.start(QStringLiteral("fping"),
        QStringList { QStringLiteral("-q"), QStringLiteral("-c"), QString::number(seconds), QStringLiteral("-p"),
            QStringLiteral("1000"), QStringLiteral("-i"), interval, QStringLiteral("-t"), QStringLiteral("4000"),
            QStringLiteral("-H"), QStringLiteral("32") }
            + extra + hosts);
    p.waitForFinished(seconds * 1000 + 60000);
    st.seconds = t.elapsed() / 1000.0;
    st.cpu = cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    static const QRegularExpression re(QStringLiteral("xmt/rcv/%loss = (\\d+)/(\\d+)/"));
    auto it = re.globalMatch(QString::fromUtf8(p.readAllStandardError()));
    while (it.hasNext()) {
        const auto m = it.next();
        st.sent += m.captured(1).toULongLong();
        st.replies += m.captured(2).toULongLong();
    }
    st.delivered = st.replies;
    return st;
}

} // namespace bench
