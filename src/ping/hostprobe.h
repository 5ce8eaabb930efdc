#pragma once

#include "completionport.h"
#include "hostwatch.h"
#include "linkstats.h"

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>

class QTimer;
class TPingThread;
class TWSocket;

// The ping cycle of one host, with no window: while it runs it looks the host up, sends one
// echo (time-out 4000 ms, TTL 32), processes the result, and about a second later begins
// again. It keeps the recent results for the loss and jitter figures and the down/up state,
// and reports each result once it is processed. A lookup failure stops it.
class HostProbe : public QObject
{
    Q_OBJECT
public:
    explicit HostProbe(QObject *parent = nullptr);
    ~HostProbe() override;

    // The host text; the next lookup looks up its first word (what follows is a label).
    void setHost(const QString &host);
    QString host() const { return m_host; }
    // How many recent results the figures cover (at least 1).
    void setWindow(int results);

    // Runs the cycle; the first lookup follows after delayMs (at once for 0). A probe that
    // already has a lookup or an echo under way goes on with it.
    void start(int delayMs = 0);
    // Stops after the echo in flight, if any, whose result is still processed.
    void stop();
    bool running() const { return m_running; }
    bool inFlight() const { return m_inFlight; }
    // The address the latest echo went to, empty before the first.
    QString address() const { return m_address; }
    bool hasResult() const { return !m_recent.empty(); }
    bool isDown() const { return m_downUp.isDown(); }
    // Results the figures cover: the newest, up to the window's size.
    int resultCount() const { return int(m_recent.size()); }
    LinkStats::Figures figures() const { return LinkStats::computeOver(m_recent); }

signals:
    void echoSent();
    void resultProcessed(const EchoOutcome &outcome);
    // The host could not be looked up; the probe has stopped.
    void lookupFailed(quint16 errCode);

private:
    void lookUp();
    void lookupDone(quint16 errCode);
    void onTerminate(TPingThread *sender);

    QString m_host;
    QString m_address;
    int m_window = 180;
    bool m_running = false;
    bool m_inFlight = false;
    bool m_lookingUp = false;
    // An agent watches thousands of hosts: the window keeps of each result only what the
    // figures read.
    struct Brief
    {
        std::int32_t rtt;
        EchoOutcome::Kind kind;
    };
    std::deque<Brief> m_recent;
    DownUpWatch m_downUp;
    QTimer *m_timer;
    TWSocket *m_resolver;
    CompletionPort m_port { this };
};
