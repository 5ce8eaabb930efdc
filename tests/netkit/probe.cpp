// One echo from the command line, for tests that need another user or a separate process:
//   netkit_probe TARGET [--sockets auto|ping|raw] [--size N] [--timeout MS] [--ttl N]
//   netkit_probe --exit-in-flight N TARGET   (start N echoes, then leave at once)
// Prints the result fields as key=value lines.
#include "pingthread.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    auto option = [&args](const QString &name, const QString &def) {
        const qsizetype i = args.indexOf(name);
        if (i < 0 || i + 1 >= args.size())
            return def;
        const QString v = args.at(i + 1);
        args.remove(i, 2);
        return v;
    };
    const QString sockets = option(QStringLiteral("--sockets"), QStringLiteral("auto"));
    const int size = option(QStringLiteral("--size"), QStringLiteral("0")).toInt();
    const int timeout = option(QStringLiteral("--timeout"), QStringLiteral("0")).toInt();
    const int ttl = option(QStringLiteral("--ttl"), QStringLiteral("0")).toInt();
    const int inFlight = option(QStringLiteral("--exit-in-flight"), QStringLiteral("0")).toInt();
    const QString target = args.value(0);

    TICMP::SetSocketPreference(sockets == QStringLiteral("ping") ? TICMP::SocketKind::PingOnly
            : sockets == QStringLiteral("raw")                   ? TICMP::SocketKind::RawOnly
                                                                 : TICMP::SocketKind::Auto);
    if (inFlight > 0) {
        QObject owner;
        CompletionPort port(&owner);
        for (int i = 0; i < inFlight; ++i) {
            auto w = TPingThread::Create();
            w->PingHostName = target;
            w->PingTimeout = 4000;
            w->OnTerminate = [](TPingThread *) { std::puts("delivered"); };
            w->Start(port.handle());
        }
        QTimer::singleShot(50, &app, &QCoreApplication::quit);
        return app.exec();
    }

    auto w = TPingThread::Create();
    w->PingHostName = target;
    w->PingSize = size;
    w->PingTimeout = timeout;
    w->PingTTL = ttl;
    w->Execute();
    std::printf("total=%d\nstatus=%u\nfrom=%s\nrtt=%u\nsize=%d\nerr=%d\nerrstr=%s\ndnshostip=%s\nkind=%s\n",
        w->ReplyTotal, w->ReplyStatus, qPrintable(w->ReplyIPAddr), w->ReplyRTT, w->ReplyDataSize, w->ErrCode,
        qPrintable(w->ErrString), qPrintable(w->DnsHostIP), qPrintable(w->SocketKind));
    return 0;
}
