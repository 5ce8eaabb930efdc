#pragma once

#include "settingsrules.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTimer;
class QFrame;

// The About box: the program's name, version, credits and toolchain. It fades in when it
// opens and fades out when it is closed; one is made for each showing.
class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    // Shows a new box modally, centred on `over` (or the screen), and frees it afterwards.
    static int Execute(QWidget *over = nullptr);

    explicit TAboutBox(QWidget *parent = nullptr);

    QFrame *Panel;
    QLabel *ProgramIcon, *ProgramLabel, *Version, *VersionLbl, *ProgrammerLbl, *EmailLbl, *CompilerLbl;
    QPushButton *OKBtn;
    QTimer *fadeTimer;

    void fadeTimerTimer();
    const SettingsRules::AboutFade &Fade() const { return m_fade; }

    // The program's icon, drawn at the size asked for.
    static QPixmap ProgramPixmap(int size);

public slots:
    // Escape asks for this; there is nothing to cancel.
    void reject() override { }

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    void FormCreate();
    void showOpacity();

    SettingsRules::AboutFade m_fade;
};
