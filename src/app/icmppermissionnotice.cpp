#include "icmppermissionnotice.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QPushButton>

TIcmpPermissionNotice::TIcmpPermissionNotice(QWidget *parent)
    : QMessageBox(parent)
{
    setObjectName(QStringLiteral("IcmpPermissionNotice"));
    setWindowTitle(QStringLiteral("Skylark: no ICMP access"));
    setIcon(QMessageBox::Warning);
    setWindowModality(Qt::NonModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setTextFormat(Qt::RichText);
    const QString program = QCoreApplication::applicationFilePath().toHtmlEscaped();
    setText(QStringLiteral(
        "<p><b>Skylark cannot send ICMP echoes on this system.</b></p>"
        "<p>Every echo fails with \"Unable to get IPv4 ICMP handle\", so every frame shows red points.</p>"
        "<p>Either allow unprivileged ping sockets for all groups:<br><code>%1</code><br>"
        "(to keep it after a restart, put <code>net.ipv4.ping_group_range = 0 2147483647</code> in "
        "<code>/etc/sysctl.d/60-ping-group.conf</code>)</p>"
        "<p>or give Skylark the raw-socket capability:<br><code>sudo setcap cap_net_raw+ep %2</code></p>")
                .arg(sysctlCommand().toHtmlEscaped(), program));
    QPushButton *copy = addButton(QStringLiteral("&Copy Command"), QMessageBox::ActionRole);
    copy->setObjectName(QStringLiteral("CopyCommandButton"));
    // An action button would close the box; copying should leave it open.
    disconnect(copy, &QAbstractButton::clicked, nullptr, nullptr);
    connect(copy, &QAbstractButton::clicked, this, [] { QApplication::clipboard()->setText(sysctlCommand()); });
    addButton(QMessageBox::Close);
}

QString TIcmpPermissionNotice::sysctlCommand()
{
    return QStringLiteral("sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"");
}
