#include "application.h"

#include "mainform.h"
#include "skylarkerror.h"

#include <QMessageBox>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalFds[2] = { -1, -1 };

extern "C" void onTerminationSignal(int)
{
    const char b = 1;
    [[maybe_unused]] const auto n = ::write(g_signalFds[0], &b, 1);
}
} // namespace

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Skylark"));
    setOrganizationName(QStringLiteral("Corvid"));
    // Desktop environments match the window to its desktop entry by this name.
    setDesktopFileName(QStringLiteral("org.corvid.Skylark"));
    setWindowIcon(programIcon());
    ErrorDisplay::setSink(&TApplication::showErrorBox);

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) == 0) {
        m_signalNotifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, this);
        connect(m_signalNotifier, &QSocketNotifier::activated, this, &TApplication::handleSignal);
        struct sigaction sa
        {
        };
        sa.sa_handler = onTerminationSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (int sig : { SIGTERM, SIGINT, SIGHUP })
            ::sigaction(sig, &sa, nullptr);
    }

    // Logging out closes the main window as a signal does: nobody is there to answer.
    connect(this, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { closeUnattended(); });
}

TApplication::~TApplication()
{
    for (int sig : { SIGTERM, SIGINT, SIGHUP })
        ::signal(sig, SIG_DFL);
    ErrorDisplay::setSink({});
}

void TApplication::handleSignal()
{
    char buf[16];
    [[maybe_unused]] const auto n = ::read(g_signalFds[1], buf, sizeof buf);
    closeUnattended();
}

void TApplication::closeUnattended()
{
    // The shutdown sequence runs whole and the program ends, even with a modal dialog open.
    if (auto *form = qobject_cast<TMainForm *>(m_mainWindow.data()))
        form->CloseUnattended();
    else if (!m_mainWindow || m_mainWindow->close())
        quit();
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const SkylarkError &e) {
        ErrorDisplay::show(e.message());
    } catch (const std::exception &e) {
        ErrorDisplay::show(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

QIcon TApplication::programIcon()
{
    QIcon icon;
    for (int size : { 48, 128, 256 })
        icon.addFile(QStringLiteral(":/icons/skylark-%1.png").arg(size), QSize(size, size));
    return icon;
}

void TApplication::showErrorBox(const QString &message)
{
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Skylark"), message);
}
