#include "metricsformat.h"

#include <QLocale>

namespace MetricsFormat {

namespace {

QByteArray number(double v)
{
    return QByteArray::number(v, 'f', QLocale::FloatingPointShortest);
}

// One metric family. `name` is the sample name of the classic format; OpenMetrics names a
// counter's family without its "_total" and an info family without its "_info".
struct Family
{
    const char *name;
    const char *type;
    const char *help;
};

void header(QByteArray &out, const Family &f, Format format)
{
    QByteArray name = f.name;
    QByteArray type = f.type;
    if (format == Format::OpenMetrics) {
        if (type == "counter")
            name.chop(int(qstrlen("_total")));
        if (type == "info")
            name.chop(int(qstrlen("_info")));
    } else if (type == "info") {
        type = "gauge";
    }
    out += "# HELP " + name + ' ' + f.help + '\n';
    out += "# TYPE " + name + ' ' + type + '\n';
}

QByteArray labels(const MetricsStore::Identity &id)
{
    return "frame=\"" + escapeLabel(id.frame) + "\",host=\"" + escapeLabel(id.hostWord) + "\",ip=\""
        + escapeLabel(id.ip) + "\",label=\"" + escapeLabel(id.label) + '"';
}

} // namespace

Format negotiate(const QByteArray &accept)
{
    return accept.contains("application/openmetrics-text") ? Format::OpenMetrics : Format::Prometheus;
}

QByteArray contentType(Format format)
{
    return format == Format::OpenMetrics ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
                                         : "text/plain; version=0.0.4; charset=utf-8";
}

QByteArray escapeLabel(const QString &value)
{
    QByteArray out;
    const QByteArray utf8 = value.toUtf8();
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray render(const QList<MetricsStore::Series> &series, const QString &version, Format format)
{
    static constexpr Family buildInfo { "skylark_build_info", "info", "The running Skylark's version." };
    static constexpr Family probes { "skylark_probes", "gauge", "Hosts being watched." };
    static constexpr Family counters[] = {
        { "skylark_echo_requests_total", "counter", "ICMP echo requests sent." },
        { "skylark_echo_replies_total", "counter", "Echo replies from the watched address." },
        { "skylark_echo_timeouts_total", "counter", "Echo requests without an answer in time." },
        { "skylark_echo_foreign_total", "counter",
            "Echo requests answered from another address, such as a router's unreachable message." },
    };
    static constexpr Family rtt { "skylark_rtt_seconds", "histogram", "Round-trip time of echo replies." };
    static constexpr Family up { "skylark_host_up", "gauge",
        "1 while the host answers, 0 after three results in a row without a reply." };
    static constexpr Family loss { "skylark_loss_ratio", "gauge",
        "Share of the recent results without a reply from the host." };
    static constexpr Family state { "skylark_host_state", "gauge",
        "The host's state: 1 for the state it is in, 0 for the others." };
    static constexpr Family changes { "skylark_host_state_changes_total", "counter",
        "Announced changes of the host's state, by the state changed to." };
    static constexpr auto edges = MetricsStore::bucketEdges();
    using HostState::State;
    static constexpr State exported[]
        = { State::Up, State::Degraded, State::Slow, State::Lossy, State::Down, State::LookupFailed, State::Waiting };
    static const auto stateLabels = [] {
        std::array<QByteArray, std::size(exported)> out;
        for (std::size_t k = 0; k < out.size(); ++k)
            out[k] = ",state=\"" + HostState::code(exported[k]).toLatin1() + '"';
        return out;
    }();

    QByteArray out;
    // About 2.5 KB a probe; reserving avoids regrowing a large answer many times.
    out.reserve(1024 + series.size() * 2600);

    header(out, buildInfo, format);
    out += "skylark_build_info{version=\"" + escapeLabel(version) + "\"} 1\n";
    header(out, probes, format);
    out += "skylark_probes " + QByteArray::number(series.size()) + '\n';

    // Each sample line is appended piece by piece: a scrape of thousands of hosts is about
    // twenty lines a host, and temporaries per line would cost more than the text itself.
    QList<QByteArray> labelSets;
    labelSets.reserve(series.size());
    for (const MetricsStore::Series &s : series)
        labelSets.append(labels(s.id));
    const auto sample
        = [&out](const char *name, const QByteArray &labelSet, const QByteArray &extra, const QByteArray &value) {
              out.append(name).append('{').append(labelSet).append(extra).append("} ").append(value).append('\n');
          };

    for (int c = 0; c < 4; ++c) {
        header(out, counters[c], format);
        for (int i = 0; i < series.size(); ++i) {
            const MetricsStore::Series &s = series[i];
            const std::uint64_t value = c == 0 ? s.requests : c == 1 ? s.replies : c == 2 ? s.timeouts : s.foreign;
            sample(counters[c].name, labelSets[i], {}, QByteArray::number(quint64(value)));
        }
    }

    header(out, rtt, format);
    QList<QByteArray> le;
    for (double edge : edges)
        le.append(",le=\"" + number(edge) + '"');
    const QByteArray leInf = ",le=\"+Inf\"";
    for (int i = 0; i < series.size(); ++i) {
        const MetricsStore::Series &s = series[i];
        std::uint64_t cumulative = 0;
        for (int b = 0; b < MetricsStore::kBuckets; ++b) {
            cumulative += s.buckets[std::size_t(b)];
            sample("skylark_rtt_seconds_bucket", labelSets[i], le[b], QByteArray::number(quint64(cumulative)));
        }
        const QByteArray count = QByteArray::number(quint64(s.replies));
        sample("skylark_rtt_seconds_bucket", labelSets[i], leInf, count);
        sample("skylark_rtt_seconds_sum", labelSets[i], {}, number(s.rttSumSeconds));
        sample("skylark_rtt_seconds_count", labelSets[i], {}, count);
    }

    // Up and loss say nothing before the first result.
    header(out, up, format);
    for (int i = 0; i < series.size(); ++i)
        if (series[i].hasResult)
            sample("skylark_host_up", labelSets[i], {}, series[i].up ? "1" : "0");
    header(out, loss, format);
    for (int i = 0; i < series.size(); ++i)
        if (series[i].hasResult)
            sample("skylark_loss_ratio", labelSets[i], {}, number(series[i].lossRatio));

    // A state set: one series for each state a watched host can be in.
    header(out, state, format);
    for (int i = 0; i < series.size(); ++i)
        for (std::size_t k = 0; k < std::size(exported); ++k)
            sample("skylark_host_state", labelSets[i], stateLabels[k], series[i].state == exported[k] ? "1" : "0");
    header(out, changes, format);
    for (int i = 0; i < series.size(); ++i)
        for (std::size_t k = 0; k < std::size(exported); ++k)
            sample("skylark_host_state_changes_total", labelSets[i], stateLabels[k],
                QByteArray::number(quint64(series[i].changes[std::size_t(exported[k])])));

    if (format == Format::OpenMetrics)
        out += "# EOF\n";
    return out;
}

} // namespace MetricsFormat
