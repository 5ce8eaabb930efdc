#pragma once

#include "pingthread.h"
#include "skylarkerror.h"
#include "wsocket.h"

#include <QDateTime>
#include <QStringList>

#include <memory>
#include <vector>

// Echo launcher for tests: holds every started echo until the test completes it.
class ScriptedEchoLauncher : public IEchoLauncher
{
public:
    ScriptedEchoLauncher() { IEchoLauncher::setCurrent(this); }
    ~ScriptedEchoLauncher() override { IEchoLauncher::setCurrent(nullptr); }
    void launch(std::shared_ptr<TPingThread> worker) override { pending.push_back(std::move(worker)); }

    // Completes the oldest pending echo: rtt >= 0 is a reply from `from` (default: the
    // target), rtt < 0 no reply. Delivery goes through the real completion path.
    void reply(int rtt, const QString &from = QString());
    // A reply measured in microseconds, as the engine measures.
    void replyUs(int rttUs);
    void timeout() { reply(-1); }
    // Completes the oldest pending echo as one that found no ICMP socket to send with.
    void noSocket();
    // Completes the oldest pending echo with no reply and this IP status (11003: a router
    // says the host is unreachable).
    void failWith(int status);
    // Completes the oldest pending echo and processes the delivery.
    void replyAndProcess(int rtt, const QString &from = QString());
    std::size_t count() const { return pending.size(); }

    std::vector<std::shared_ptr<TPingThread>> pending;
    std::vector<std::shared_ptr<TPingThread>> started;
    // Whether the last completed echo was handed to its frame (false: its frame was gone).
    bool lastDelivered = false;

private:
    void complete(int rtt, int rttUs, const QString &from);
};

// Resolver backend for tests: names wait until answered; every name asked is recorded.
class ScriptedResolver : public IResolverBackend
{
public:
    ScriptedResolver() { IResolverBackend::setCurrent(this); }
    ~ScriptedResolver() override { IResolverBackend::setCurrent(nullptr); }
    void lookup(const QByteArray &asciiName, Done done) override
    {
        asked.append(QString::fromLatin1(asciiName));
        pending.push_back(std::move(done));
    }
    // Answers the oldest pending lookup.
    void answer(std::uint16_t err, const QStringList &addresses = {});

    QStringList asked;
    std::vector<Done> pending;
};

// Collects what would go to the error message box.
class ErrorRecorder
{
public:
    ErrorRecorder();
    ~ErrorRecorder();
    QStringList messages;

private:
    ErrorDisplay::Sink m_previous;
};

// A clock that tests move by hand.
class PinnedClock
{
public:
    explicit PinnedClock(const QDateTime &start = QDateTime(QDate(2026, 12, 10), QTime(12, 0, 0)));
    ~PinnedClock();
    void set(const QDateTime &t) { now = t; }
    void advance(int ms) { now = now.addMSecs(ms); }
    QDateTime now;
};
