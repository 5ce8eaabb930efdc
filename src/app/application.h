#pragma once

#include <QApplication>
#include <QIcon>
#include <QPointer>

class QSocketNotifier;

// The application object. It shows raised errors in one critical message box, and turns
// SIGTERM, SIGINT and SIGHUP into a close of the main window through the event loop, so
// the shutdown sequence runs whatever ends the program.
class TApplication : public QApplication
{
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);
    ~TApplication() override;

    bool notify(QObject *receiver, QEvent *event) override;

    // The window that a termination signal or the session manager closes.
    void setMainWindow(QWidget *window) { m_mainWindow = window; }

    static void showErrorBox(const QString &message);
    // The program's icon in the sizes it ships.
    static QIcon programIcon();

private:
    void handleSignal();
    void closeUnattended();

    QPointer<QWidget> m_mainWindow;
    QSocketNotifier *m_signalNotifier = nullptr;
};
