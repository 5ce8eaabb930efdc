#include "pingthread.h"

#include <exception>
#include <thread>

namespace {

// Each echo on a detached thread of its own: nothing waits for it at exit, and a result that
// arrives after its frame is gone finds a closed completion port.
class ThreadLauncher : public IEchoLauncher
{
public:
    void launch(std::shared_ptr<TPingThread> worker) override
    {
        try {
            std::thread([worker] {
                worker->Execute();
                worker->Deliver();
            }).detach();
        } catch (const std::exception &e) {
            worker->ReplyTotal = 0;
            worker->ErrCode = 0;
            worker->ErrString = QString::fromLocal8Bit(e.what());
            worker->Deliver();
        }
    }
};

ThreadLauncher g_threadLauncher;
IEchoLauncher *g_launcher = nullptr;

} // namespace

IEchoLauncher *IEchoLauncher::current()
{
    return g_launcher ? g_launcher : &g_threadLauncher;
}

void IEchoLauncher::setCurrent(IEchoLauncher *launcher)
{
    g_launcher = launcher;
}

std::shared_ptr<TPingThread> TPingThread::Create()
{
    return std::shared_ptr<TPingThread>(new TPingThread());
}

void TPingThread::Start(CompletionPort::Handle port)
{
    m_port = std::move(port);
    IEchoLauncher::current()->launch(shared_from_this());
}

void TPingThread::Execute()
{
    ErrCode = 0;
    ErrString.clear();
    try {
        TICMP icmp;
        if (PingSize != 0)
            icmp.FSize = PingSize;
        if (PingTimeout != 0)
            icmp.FTimeOut = PingTimeout;
        if (PingTTL != 0)
            icmp.FTTL = PingTTL;
        if (!PingPingMsg.isEmpty())
            icmp.FPingMsg = PingPingMsg;
        icmp.FFlags = PingFlags;
        icmp.SetFamily(PingSocketFamily);
        icmp.SetAddress(PingHostName);
        icmp.SetSrcAddress(PingSrcAddress);
        icmp.SetSrcAddress6(PingSrcAddress6);
        ReplyTotal = icmp.Ping();
        DnsHostIP = icmp.FHostIP;
        SocketKind = icmp.SocketKindUsed();
        if (ReplyTotal != 0) {
            PingSocketFamily = icmp.Family();
            ReplyIPAddr = icmp.FReplyIP;
            ReplyHostName = ReplyIPAddr;
            ReplyStatus = icmp.FReplyStatus;
            ReplyRTT = icmp.FReplyRTT;
            ReplyDataSize = icmp.FReplySize;
        } else {
            ErrCode = int(icmp.FLastError);
            ErrString = icmp.FLastErrStr.isEmpty() ? QStringLiteral("Ping failed, no error message") : icmp.FLastErrStr;
        }
    } catch (const std::exception &e) {
        ErrString = QString::fromLocal8Bit(e.what());
        ErrCode = 0;
    }
}

bool TPingThread::Deliver()
{
    auto self = shared_from_this();
    return CompletionPort::deliver(m_port, [self] {
        if (self->OnTerminate)
            self->OnTerminate(self.get());
    });
}
