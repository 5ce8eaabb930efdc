#pragma once

#include <QMessageBox>

// Explains, once a run, why every echo fails when the system allows no ICMP socket, and how
// to allow one. Non-modal: the frames go on (with red points) while it is open.
class TIcmpPermissionNotice : public QMessageBox
{
    Q_OBJECT
public:
    explicit TIcmpPermissionNotice(QWidget *parent);
    static QString sysctlCommand();
};
