#include "scripted.h"

#include "appclock.h"
#include "skylarkerror.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

void answerModalSoon(const QString &button, int delayMs)
{
    QTimer::singleShot(delayMs, [button] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w) {
            answerModalSoon(button, 20);
            return;
        }
        if (!button.isEmpty())
            if (auto *b = w->findChild<QAbstractButton *>(button)) {
                b->click();
                return;
            }
        if (auto *d = qobject_cast<QDialog *>(w))
            d->reject();
        else
            w->close();
    });
}

#include "hlbeditmemodlg.h"
#include "infomemoform.h"
#include "mainform.h"
#include "selectfiledlg.h"
#include "settingsform.h"
#include "oiform.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

struct FreshHome::Impl
{
    QTemporaryDir dir;
    QByteArray oldHome, oldConfig, oldTmp;
};

FreshHome::FreshHome()
    : d(std::make_unique<Impl>())
{
    d->oldHome = qgetenv("HOME");
    d->oldConfig = qgetenv("XDG_CONFIG_HOME");
    d->oldTmp = qgetenv("TMPDIR");
    qputenv("HOME", d->dir.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (d->dir.path() + QStringLiteral("/.config")).toUtf8());
    QDir().mkpath(d->dir.path() + QStringLiteral("/tmp"));
    qputenv("TMPDIR", (d->dir.path() + QStringLiteral("/tmp")).toUtf8());
}

FreshHome::~FreshHome()
{
    qputenv("HOME", d->oldHome);
    qputenv("XDG_CONFIG_HOME", d->oldConfig);
    qputenv("TMPDIR", d->oldTmp);
}

QString FreshHome::path() const
{
    return d->dir.path();
}

std::unique_ptr<TMainForm> makeMainForm()
{
    auto form = std::make_unique<TMainForm>();
    form->SelectFileDlg = new TSelectFileDlg(form.get());
    new TSettingsForm(form.get());
    form->InfoMemoForm = new TInfoMemoForm(form.get());
    form->OIForm = new TOIForm(form.get());
    form->HLBEditMemoDlg = new THLBEditMemoDlg(form.get());
    form->show();
    if (!QTest::qWaitFor([&] { return form->FormActivated; }, 5000))
        qWarning("main window never activated");
    QTest::qWait(20); // let the menu bar and panels settle
    return form;
}
