// The overview at thousands of hosts: how long sorting each column, filtering and scrolling
// take, and what a second of results costs the model and the view. Echoes are scripted, so
// it needs no network; it prints figures and asserts nothing.
//   overview_bench [--hosts 5000] [--width 1920] [--height 1080]
#include "benchkit.h"
#include "hostcollection.h"
#include "hostoverview.h"
#include "hostprobe.h"
#include "hosttablemodel.h"
#include "scriptedcore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

double ms(QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const bench::Args args(app.arguments());
    const int hosts = args.value(QStringLiteral("--hosts"), QStringLiteral("5000")).toInt();
    const int width = args.value(QStringLiteral("--width"), QStringLiteral("1920")).toInt();
    const int height = args.value(QStringLiteral("--height"), QStringLiteral("1080")).toInt();

    ScriptedEchoLauncher echoes;
    ScriptedResolver resolver;
    PinnedClock clock;
    std::vector<std::unique_ptr<HostProbe>> probes;
    QList<HostCollection::Entry> entries;
    for (int i = 0; i < hosts; ++i) {
        auto p = std::make_unique<HostProbe>();
        p->setHost(
            QStringLiteral("10.%1.%2.%3 host%4 interval=1h").arg(i / 65536).arg(i / 256 % 256).arg(i % 256).arg(i));
        p->setKeepPoints(true);
        p->setRunning(true);
        p->beginRun();
        entries.append({ p.get(), QStringLiteral("PingFrame_%1").arg(i), HostCollection::Place::Column1 });
        probes.push_back(std::move(p));
    }
    HostCollection collection;
    HostTableModel model(&collection);
    THostOverview overview(&model, HostCollection::Place::Column1);
    overview.resize(width, height);
    overview.show();

    QElapsedTimer t;
    t.start();
    collection.sync(entries);
    std::printf("%d hosts: sync into the model %.1f ms\n", hosts, ms(t));

    std::mt19937 rng(7);
    // A tenth of the hosts silent, a tenth losing one echo in four, the rest answering.
    const auto round = [&] {
        clock.advance(1000);
        for (auto &p : probes)
            p->beginCycle();
        QCoreApplication::processEvents();
        while (echoes.count() > 0) {
            const QString addr = echoes.pending.front()->PingHostName;
            const int n = addr.section(QLatin1Char('.'), 1, 1).toInt() * 65536
                + addr.section(QLatin1Char('.'), 2, 2).toInt() * 256 + addr.section(QLatin1Char('.'), 3, 3).toInt();
            const bool silent = n % 10 == 9, lossy = n % 10 == 8 && rng() % 4 == 0;
            echoes.replyAndProcess(silent || lossy ? -1 : int(1 + rng() % 200));
        }
    };
    for (int r = 0; r < 10; ++r)
        round();
    QCoreApplication::processEvents();

    // A second of results with the view shown: the model's and the view's share.
    t.restart();
    const double cpu0 = bench::cpuSeconds(RUSAGE_SELF);
    round();
    QCoreApplication::processEvents();
    std::printf("one round of %d results, with the view: %.1f ms wall, %.1f ms CPU\n", hosts, ms(t),
        (bench::cpuSeconds(RUSAGE_SELF) - cpu0) * 1000);

    QTableView *view = overview.view();
    std::printf("sort (ms, ascending then descending):\n");
    for (int c = 0; c < HostTableModel::ColumnCount; ++c) {
        double worst = 0;
        for (Qt::SortOrder order : { Qt::AscendingOrder, Qt::DescendingOrder }) {
            t.restart();
            view->sortByColumn(c, order);
            QCoreApplication::processEvents();
            view->viewport()->repaint();
            worst = std::max(worst, ms(t));
        }
        std::printf("  %-8s %6.1f\n", qPrintable(model.headerData(c, Qt::Horizontal).toString()), worst);
    }
    view->sortByColumn(HostTableModel::State, Qt::AscendingOrder);

    const auto filter = [&](const char *what, const std::function<void()> &apply) {
        t.restart();
        apply();
        QCoreApplication::processEvents();
        view->viewport()->repaint();
        std::printf("filter %-24s %6.1f ms, %d rows\n", what, ms(t), overview.filter()->rowCount());
    };
    filter("text \"host12\"", [&] { overview.filter()->setTextFilter(QStringLiteral("host12")); });
    filter("text cleared", [&] { overview.filter()->setTextFilter(QString()); });
    filter("state down", [&] { overview.filter()->setStateFilter(HostState::State::Down); });
    filter("state cleared", [&] { overview.filter()->setStateFilter(std::nullopt); });

    // Scrolling a page at a time through the whole table, painting each page.
    QScrollBar *bar = view->verticalScrollBar();
    const int pages = std::max(1, bar->maximum() / std::max(1, bar->pageStep()));
    double longest = 0, total = 0;
    for (int k = 0; k <= pages; ++k) {
        t.restart();
        bar->setValue(k * bar->pageStep());
        view->viewport()->repaint();
        const double m = ms(t);
        longest = std::max(longest, m);
        total += m;
    }
    std::printf(
        "scroll: %d pages, %.2f ms a page on average, longest %.2f ms\n", pages + 1, total / (pages + 1), longest);
    return 0;
}
