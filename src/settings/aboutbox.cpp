#include "aboutbox.h"

#include "application.h"

#include "utlunit.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

int TAboutBox::Execute(QWidget *over)
{
    // No owner: the box lives only for this showing.
    auto *box = new TAboutBox;
    box->adjustSize();
    const QRect around = over
        ? over->frameGeometry()
        : (QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry() : QRect());
    box->move(around.center() - QPoint(box->width() / 2, box->height() / 2));
    int result = QDialog::Rejected;
    try {
        result = box->exec();
    } catch (...) {
        delete box;
        throw;
    }
    delete box;
    return result;
}

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Skylark"));
    setModal(true);

    Panel = new QFrame(this);
    Panel->setObjectName(QStringLiteral("Panel"));
    Panel->setFrameShape(QFrame::StyledPanel);
    Panel->setFrameShadow(QFrame::Sunken);
    auto label = [this](const char *name, const QString &text, bool bold) {
        auto *l = new QLabel(text, Panel);
        l->setObjectName(QString::fromLatin1(name));
        if (bold) {
            QFont f = l->font();
            f.setBold(true);
            l->setFont(f);
        }
        return l;
    };
    ProgramIcon = label("ProgramIcon", QString(), false);
    ProgramIcon->setPixmap(ProgramPixmap(64));
    ProgramIcon->setFixedSize(64, 64);
    ProgramLabel = label("ProgramLabel", QStringLiteral("Skylark"), true);
    Version = label("Version", QStringLiteral("Version"), false);
    VersionLbl = label("VersionLbl", QString(), true);
    ProgrammerLbl = label("ProgrammerLbl", QStringLiteral("Written by the Skylark developers"), true);
    EmailLbl = label("EmailLbl", QStringLiteral("Ping charts for many hosts at once"), false);
    CompilerLbl = label("CompilerLbl", QString(), false);
    CompilerLbl->setAlignment(Qt::AlignHCenter);

    auto *g = new QGridLayout(Panel);
    g->addWidget(ProgramIcon, 0, 0, 4, 1, Qt::AlignTop);
    g->addWidget(ProgramLabel, 0, 1, 1, 2);
    g->addWidget(Version, 1, 1);
    g->addWidget(VersionLbl, 1, 2);
    g->addWidget(ProgrammerLbl, 2, 1, 1, 2);
    g->addWidget(EmailLbl, 3, 1, 1, 2);
    g->addWidget(CompilerLbl, 4, 0, 1, 3);
    g->setColumnStretch(2, 1);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QWidget::close);

    auto *v = new QVBoxLayout(this);
    v->addWidget(Panel);
    v->addWidget(OKBtn, 0, Qt::AlignHCenter);
    setMinimumSize(290, 150);

    fadeTimer = new QTimer(this);
    fadeTimer->setObjectName(QStringLiteral("fadeTimer"));
    fadeTimer->setInterval(1);
    connect(fadeTimer, &QTimer::timeout, this, &TAboutBox::fadeTimerTimer);

    FormCreate();
    // A box of fixed size, as its texts make it: neither resized nor maximised.
    adjustSize();
    setFixedSize(size());
}

void TAboutBox::FormCreate()
{
    showOpacity();
    fadeTimer->start();
    VersionLbl->setText(UtlUnit::GetFileVersionStr(QCoreApplication::applicationFilePath()));
    CompilerLbl->setText(
        QStringLiteral("Application compiled with: ") + UtlUnit::GetCompilerName(UtlUnit::CompilerVersion()));
}

void TAboutBox::showOpacity()
{
    // Window systems without compositing (and Qt's offscreen and minimal platforms) show the
    // box plainly; they would only complain at every step of the fade.
    static const bool translucent = !QGuiApplication::platformName().startsWith(QStringLiteral("offscreen"))
        && !QGuiApplication::platformName().startsWith(QStringLiteral("minimal"));
    if (translucent)
        setWindowOpacity(m_fade.alpha() / 255.0);
}

void TAboutBox::fadeTimerTimer()
{
    const auto result = m_fade.tick();
    showOpacity();
    if (!m_fade.timerRunning())
        fadeTimer->stop();
    if (result == SettingsRules::AboutFade::Tick::Close)
        close();
}

void TAboutBox::closeEvent(QCloseEvent *e)
{
    if (m_fade.closeRequest()) {
        e->accept();
        done(QDialog::Accepted);
        return;
    }
    e->ignore();
    showOpacity();
    fadeTimer->start();
}

QPixmap TAboutBox::ProgramPixmap(int size)
{
    // The program's own icon, as its windows and the desktop's menu show it.
    return TApplication::programIcon().pixmap(size, size);
}
