// The About box opened from the version item: its texts, and its fade driven tick by tick.
#include "aboutbox.h"
#include "application.h"
#include "mainform.h"
#include "scripted.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {
// Runs `check` on the About box once it is up, with its timer stopped so that the test
// drives the fade.
void whenAboutBoxOpens(std::function<void(TAboutBox *)> check)
{
    QTimer::singleShot(0, [check] {
        auto *box = qobject_cast<TAboutBox *>(QApplication::activeModalWidget());
        if (!box) {
            whenAboutBoxOpens(check);
            return;
        }
        box->fadeTimer->stop();
        check(box);
    });
}
} // namespace

class TestAboutBox : public QObject
{
    Q_OBJECT
private slots:
    void versionItem_opensModalBoxWithItsTexts()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        QPointer<TAboutBox> seen;
        QString version, compiler, title;
        bool bold = false, modal = false;
        whenAboutBoxOpens([&](TAboutBox *box) {
            seen = box;
            title = box->windowTitle();
            version = box->VersionLbl->text();
            compiler = box->CompilerLbl->text();
            bold = box->ProgramLabel->font().bold() && box->ProgramLabel->text() == QStringLiteral("Skylark");
            modal = box->isModal();
            QVERIFY(box->OKBtn->isDefault());
            QVERIFY(!box->ProgramIcon->pixmap().isNull());
            // Fixed size: the window system offers neither resizing nor maximising.
            const QSize size = box->size();
            QCOMPARE(box->minimumSize(), size);
            QCOMPARE(box->maximumSize(), size);
            QVERIFY(!(box->windowFlags() & Qt::WindowMaximizeButtonHint));
            box->resize(size + QSize(200, 100));
            QCOMPARE(box->size(), size);
            // The program's own icon, the one its windows and desktop entry carry.
            QCOMPARE(box->ProgramIcon->pixmap().toImage(), TApplication::programIcon().pixmap(64, 64).toImage());
            box->close();
            box->close();
        });
        form->mmiVersionAbout->trigger();
        QCOMPARE(title, QStringLiteral("About Skylark"));
        QVERIFY(modal && bold);
        QCOMPARE(QStringLiteral("Skylark-v") + version, form->VersionText);
        QCOMPARE(version.count(u'.'), 3);
        QVERIFY2(compiler.startsWith(QStringLiteral("Application compiled with: GCC "))
                || compiler.startsWith(QStringLiteral("Application compiled with: Clang ")),
            qPrintable(compiler));
        QTRY_VERIFY(!seen); // freed after the showing
    }

    void fade_escapeIgnored_okDuringFadeIn_secondCloseAtOnce()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        QList<int> alphas;
        bool visibleAfterEscape = false, visibleAfterFirstOk = false;
        SettingsRules::AboutFade::Type typeAfterOk {};
        whenAboutBoxOpens([&](TAboutBox *box) {
            for (int i = 0; i < 4; ++i)
                box->fadeTimerTimer();
            alphas << box->Fade().alpha();
            QTest::keyClick(box, Qt::Key_Escape);
            visibleAfterEscape = box->isVisible();
            alphas << box->Fade().alpha();
            QTest::mouseClick(box->OKBtn, Qt::LeftButton);
            visibleAfterFirstOk = box->isVisible();
            typeAfterOk = box->Fade().type();
            alphas << box->Fade().alpha();
            box->fadeTimer->stop();
            box->fadeTimerTimer();
            box->fadeTimerTimer();
            alphas << box->Fade().alpha();
            QTest::mouseClick(box->OKBtn, Qt::LeftButton); // during the fade-out: closes at once
        });
        form->mmiVersionAbout->trigger();
        QVERIFY(visibleAfterEscape && visibleAfterFirstOk);
        QCOMPARE(typeAfterOk, SettingsRules::AboutFade::Type::Out);
        QCOMPARE(alphas, QList<int>({ 20, 20, 255, 215 }));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void fade_runsByItsTimer_toTheEnd()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        bool opaque = false;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<TAboutBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            // Fades in by itself, then the close fades it out and its timer closes it.
            QTRY_COMPARE(box->Fade().alpha(), 255);
            QTRY_VERIFY(!box->fadeTimer->isActive());
            opaque = true;
            box->OKBtn->click();
        });
        form->mmiVersionAbout->trigger();
        QVERIFY(opaque);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
