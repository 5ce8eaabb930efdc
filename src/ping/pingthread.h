#pragma once

#include "completionport.h"
#include "icmp.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class IEchoLauncher;

// One ICMP echo, carried by the process's echo service (no thread of its own unless the target
// needs a name look-up). The caller fills in the inputs and OnTerminate, then
// Start()s it and keeps no reference; the worker runs the echo, and OnTerminate is called on
// the thread of the completion port's owner with the result fields filled in. If the owner
// has been destroyed by then, the result is dropped. The worker frees itself
// after OnTerminate returns. A failed echo never raises: it is reported in the result fields.
class TPingThread : public std::enable_shared_from_this<TPingThread>
{
public:
    using TerminateHandler = std::function<void(TPingThread *sender)>;

    static std::shared_ptr<TPingThread> Create();

    // Inputs.
    QString PingHostName;
    TSocketFamily PingSocketFamily = sfAny;
    QString PingSrcAddress;
    QString PingSrcAddress6;
    QString PingPingMsg;
    bool PingLookupReply = false;
    int PingSize = 0;
    int PingTimeout = 0;
    int PingTTL = 0;
    int PingFlags = 0;
    int PingId = 0;
    int PingThreadNum = 0;
    // Results.
    QString DnsHostIP;
    QString ReplyIPAddr;
    std::uint32_t ReplyStatus = 0;
    std::uint32_t ReplyRTT = 0; // whole milliseconds of ReplyRTTUs
    std::uint32_t ReplyRTTUs = 0;
    int ReplyDataSize = 0;
    int ReplyTotal = 0;
    QString ReplyHostName;
    int ErrCode = 0;
    QString ErrString;
    // Which socket kind carried the echo ("ping" or "raw"), for diagnostics and tests.
    QString SocketKind;

    TerminateHandler OnTerminate;

    // Hands the worker to the echo launcher; OnTerminate will run on the port owner's thread.
    void Start(CompletionPort::Handle port);
    // The echo itself, synchronous, on whatever thread calls it.
    void Execute();
    // The echo without waiting: finished() runs once the result fields are filled in, on the
    // echo service's thread (or on this one when the echo could not start). Blocks only to
    // look up a target that is not a dotted address.
    void ExecuteAsync(std::function<void()> finished);
    // Posts OnTerminate to the port owner's thread; false when the owner is gone and the
    // result is dropped.
    bool Deliver();

private:
    TPingThread() = default;
    void setUp(TICMP &icmp);
    void collect(const TICMP &icmp);
    CompletionPort::Handle m_port;
};

// Runs workers. The real launcher hands every echo to the echo service; tests install a
// scripted one that completes echoes on demand.
class IEchoLauncher
{
public:
    virtual ~IEchoLauncher() = default;
    virtual void launch(std::shared_ptr<TPingThread> worker) = 0;

    static IEchoLauncher *current();
    // nullptr restores the real launcher.
    static void setCurrent(IEchoLauncher *launcher);
};
