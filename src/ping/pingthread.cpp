#include "pingthread.h"

#include <exception>
#include <thread>

namespace {

// Every echo goes to the echo service and comes back through the completion port. Only a
// target that still needs a name look-up (not an address of either family) gets a detached
// thread, so that the caller's thread never waits on the resolver; nothing waits for that
// thread at exit either.
class ServiceLauncher : public IEchoLauncher
{
public:
    void launch(std::shared_ptr<TPingThread> worker) override
    {
        try {
            if (TICMP::IsNumericAddress(worker->PingHostName)) {
                worker->ExecuteAsync([worker] { worker->Deliver(); });
                return;
            }
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

ServiceLauncher g_serviceLauncher;
IEchoLauncher *g_launcher = nullptr;

} // namespace

IEchoLauncher *IEchoLauncher::current()
{
    return g_launcher ? g_launcher : &g_serviceLauncher;
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

void TPingThread::setUp(TICMP &icmp)
{
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
}

void TPingThread::collect(const TICMP &icmp)
{
    DnsHostIP = icmp.FHostIP;
    SocketKind = icmp.SocketKindUsed();
    if (ReplyTotal != 0) {
        PingSocketFamily = icmp.Family();
        ReplyIPAddr = icmp.FReplyIP;
        ReplyHostName = ReplyIPAddr;
        ReplyStatus = icmp.FReplyStatus;
        ReplyRTT = icmp.FReplyRTT;
        ReplyRTTUs = icmp.FReplyRTTUs;
        ReplyDataSize = icmp.FReplySize;
    } else {
        ErrCode = int(icmp.FLastError);
        ErrString = icmp.FLastErrStr.isEmpty() ? QStringLiteral("Ping failed, no error message") : icmp.FLastErrStr;
    }
}

void TPingThread::Execute()
{
    ErrCode = 0;
    ErrString.clear();
    try {
        TICMP icmp;
        setUp(icmp);
        ReplyTotal = icmp.Ping();
        collect(icmp);
    } catch (const std::exception &e) {
        ErrString = QString::fromLocal8Bit(e.what());
        ErrCode = 0;
    }
}

void TPingThread::ExecuteAsync(std::function<void()> finished)
{
    ErrCode = 0;
    ErrString.clear();
    try {
        auto icmp = std::make_shared<TICMP>();
        setUp(*icmp);
        auto self = shared_from_this();
        icmp->PingAsync([self, icmp, finished](int replies) {
            try {
                self->ReplyTotal = replies;
                self->collect(*icmp);
            } catch (const std::exception &e) {
                self->ErrString = QString::fromLocal8Bit(e.what());
                self->ErrCode = 0;
            }
            finished();
        });
    } catch (const std::exception &e) {
        // Nothing was sent: the echo ends here.
        ErrString = QString::fromLocal8Bit(e.what());
        ErrCode = 0;
        finished();
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
