#include "appsettings.h"
#include "profilefile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSettingsFile : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const QByteArray &bytes)
    {
        const QString f = m_dir.filePath(QStringLiteral("Skylark.INI"));
        QFile out(f);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(bytes);
        return f;
    }

private slots:
    void noFile_givesDefaults()
    {
        ProfileFile ini(m_dir.filePath(QStringLiteral("absent.INI")));
        TAppSettings s;
        SettingsExtras x;
        SettingsFile::readOptions(ini, s, x);
        SettingsFile::readWindow(ini, s);
        SettingsFile::readMisc(ini, s, x);
        SettingsFile::readSettings(ini, s, x);
        QCOMPARE(s.Style, QStringLiteral("Windows"));
        QCOMPARE(QList<int>({ s.DefaultTop, s.DefaultLeft, s.DefaultHeight, s.DefaultWidth }),
            QList<int>({ 75, 75, 280, 600 }));
        QVERIFY(!s.SaveFormSize && !s.SaveFormPosition && !s.AutoStartPinging && !s.ConvertToLC && !s.ConvertToUC);
        QVERIFY(s.StartTimeoutPnlVisible && s.PauseForRemoveFrame);
        QVERIFY(!s.NotifyHostDownUp && !s.LogResults);
        QCOMPARE(s.CntDwnFrm, 10);
        QCOMPARE(s.TimeToWait, 400);
        QCOMPARE(x.CurrentPage, 2);
        QCOMPARE(x.SelectFileHeight, 275);
        QCOMPARE(x.SelectFileWidth, 525);
        QVERIFY(x.presets.isEmpty());
    }

    void geometry_readOnlyWhenItsSwitchIsOn()
    {
        ProfileFile ini(file("[Section-Window]\nSaveFormPosition=1\nTop=0x20\nLeft=garbage\nHeight=500\nWidth=700\n"));
        TAppSettings s;
        SettingsFile::readWindow(ini, s);
        QCOMPARE(s.Top, 32);
        QCOMPARE(s.Left, 75); // not a number: the default, DefaultLeft
        QCOMPARE(s.Height, 0); // SaveFormSize off: not read
        QCOMPARE(s.Width, 0);
    }

    void presets_takenByIndexAsManyAsKeys()
    {
        ProfileFile ini(file("[MainFormSettingsListBox]\n0=T:1 | L:2 | H:3 | W:4\n5=x\n"
                             "[MainFormSettingsListBoxChecked]\n0=1\n"));
        TAppSettings s;
        SettingsExtras x;
        SettingsFile::readMisc(ini, s, x);
        QCOMPARE(x.presets.size(), 2);
        QCOMPARE(x.presets[0].text, QStringLiteral("T:1 | L:2 | H:3 | W:4"));
        QVERIFY(x.presets[0].checked);
        QCOMPARE(x.presets[1].text, QString());
        QVERIFY(!x.presets[1].checked);
    }

    // TimeToWait is slept on the user-interface thread: a stored value is kept within 0 and
    // three echo time-outs.
    void timeToWait_keptWithinItsBounds_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("read");
        QTest::newRow("ordinary") << QByteArray("250") << 250;
        QTest::newRow("at the bound") << QByteArray("12000") << 12000;
        QTest::newRow("largest integer") << QByteArray("2147483647") << 12000;
        QTest::newRow("hexadecimal") << QByteArray("0x7fffffff") << 12000;
        QTest::newRow("negative") << QByteArray("-5") << 0;
        QTest::newRow("not a number") << QByteArray("forever") << 400;
    }
    void timeToWait_keptWithinItsBounds()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, read);
        TAppSettings s;
        SettingsExtras x;
        SettingsFile::readMisc(ProfileFile(file("[Section-Misc]\nTimeToWait=" + stored + "\n")), s, x);
        QCOMPARE(s.TimeToWait, read);
        QCOMPARE(kMaxTimeToWait, 12000);
    }

    // CntDwnFrm is the pause's countdown: a stored value is kept within 0 and 99 seconds, so
    // that the countdown neither overflows nor holds the window for ever.
    void cntDwnFrm_keptWithinItsBounds_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("read");
        QTest::newRow("ordinary") << QByteArray("10") << 10;
        QTest::newRow("at the bound") << QByteArray("99") << 99;
        QTest::newRow("largest integer") << QByteArray("2147483647") << 99;
        QTest::newRow("smallest integer") << QByteArray("-2147483648") << 0;
        QTest::newRow("negative") << QByteArray("-1") << 0;
        QTest::newRow("not a number") << QByteArray("soon") << 10;
    }
    void cntDwnFrm_keptWithinItsBounds()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, read);
        TAppSettings s;
        SettingsExtras x;
        SettingsFile::readSettings(ProfileFile(file("[Section-Settings]\nCntDwnFrm=" + stored + "\n")), s, x);
        QCOMPARE(s.CntDwnFrm, read);
        QCOMPARE(kMaxCntDwnFrm, 99);
    }

    // Texts are bounded: one longer than kMaxSettingText reads as if it were not there, and its
    // key is noted for the one message, which quotes only a short excerpt of anything.
    void texts_longerThanTheBound_readAsMissing_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("kept");
        for (const auto &[section, key] : { std::pair { "Section-Options", "Style" },
                 std::pair { "Section-Settings", "MetricsAddress" }, std::pair { "MainFormSettingsListBox", "0" } }) {
            const QByteArray name = QByteArray(section) + '/' + key;
            QTest::newRow(name + " at the bound") << QByteArray(section) << QByteArray(key) << kMaxSettingText << true;
            QTest::newRow(name + " one more") << QByteArray(section) << QByteArray(key) << kMaxSettingText + 1 << false;
            QTest::newRow(name + " 2 MB") << QByteArray(section) << QByteArray(key) << 2'000'000 << false;
        }
    }
    void texts_longerThanTheBound_readAsMissing()
    {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(int, length);
        QFETCH(bool, kept);
        const QByteArray value(length, 'x');
        const QString f = file("[" + section + "]\n" + key + "=" + value + "\n");
        TAppSettings s;
        SettingsExtras x;
        const ProfileFile ini(f);
        SettingsFile::readOptions(ini, s, x);
        SettingsFile::readMisc(ini, s, x);
        SettingsFile::readSettings(ini, s, x);
        const QString read = key == "Style" ? s.Style
            : key == "MetricsAddress"       ? s.MetricsAddress
                                            : (x.presets.isEmpty() ? QStringLiteral("?") : x.presets[0].text);
        const QString missing = key == "Style" ? QStringLiteral("Windows") : QString();
        QCOMPARE(read, kept ? QString::fromLatin1(value) : missing);
        const QString name = QString::fromLatin1(section + '/' + key);
        QCOMPARE(x.overlong, kept ? QStringList() : QStringList { name });
        const QString message = SettingsFile::overlongMessage(f, x.overlong);
        QCOMPARE(message.isEmpty(), kept);
        if (!kept) {
            QVERIFY2(message.contains(name), qPrintable(message));
            QVERIFY2(message.size() < 400, qPrintable(message));
        }
    }

    // A preset section's size comes from the file: at most 1000 entries are read.
    void presets_atMostAThousand()
    {
        QByteArray text = "[MainFormSettingsListBox]\n";
        for (int i = 0; i < 1500; ++i)
            text += QByteArray::number(i) + "=T:1 | L:2 | H:3 | W:" + QByteArray::number(i) + "\n";
        TAppSettings s;
        SettingsExtras x;
        SettingsFile::readMisc(ProfileFile(file(text)), s, x);
        QCOMPARE(x.presets.size(), kMaxPresets);
        QCOMPARE(x.presets.back().text, QStringLiteral("T:1 | L:2 | H:3 | W:999"));
        QCOMPARE(x.presetsListed, 1500);
    }

    void notifyAndLogSwitches_roundTrip()
    {
        const QString f = file("");
        TAppSettings s;
        SettingsExtras x;
        s.NotifyHostDownUp = true;
        s.LogResults = true;
        ProfileFile ini(f);
        SettingsFile::write(ini, s, QRect(), 2, {});
        ini.save();
        TAppSettings back;
        SettingsFile::readSettings(ProfileFile(f), back, x);
        QVERIFY(back.NotifyHostDownUp && back.LogResults);
    }

    // The health settings: written once they differ from their defaults, read back within
    // their bounds.
    void healthSettings_roundTripAndBounds()
    {
        const QString f = file("");
        TAppSettings s;
        SettingsExtras x;
        {
            ProfileFile ini(f);
            SettingsFile::write(ini, s, QRect(), 2, {});
            QVERIFY(!ini.keyNames(QStringLiteral("Section-Settings")).contains(QStringLiteral("SlowMs")));
        }
        s.SlowMs = 50;
        s.LossPercent = 5;
        s.Damping = 4;
        s.ChangeHook = QStringLiteral("/usr/local/bin/page-me \"two words\"");
        ProfileFile ini(f);
        SettingsFile::write(ini, s, QRect(), 2, {});
        ini.save();
        TAppSettings back;
        SettingsFile::readSettings(ProfileFile(f), back, x);
        QCOMPARE(back.SlowMs, 50);
        QCOMPARE(back.LossPercent, 5);
        QCOMPARE(back.Damping, 4);
        QCOMPARE(back.ChangeHook, s.ChangeHook);
        const QString odd = file("[Section-Settings]\nSlowMs=0\nLossPercent=500\nDamping=-3\n");
        SettingsFile::readSettings(ProfileFile(odd), back, x);
        QCOMPARE(QList<int>({ back.SlowMs, back.LossPercent, back.Damping }), QList<int>({ 1, 100, 1 }));
    }

    void write_newFileOrderAndExistingFileRules()
    {
        const QString f = file("[Section-Update]\nFtpHostName=secret\n[MainFormSettingsListBox]\n0=old\n"
                               "[Mine]\nkeep=1\n[Section-Misc]\nTimeToWait=5\n");
        ProfileFile ini(f);
        TAppSettings s;
        SettingsExtras x;
        SettingsFile::readSettings(ProfileFile(QString()), s, x);
        s.Style = QStringLiteral("Windows");
        s.TimeToWait = 250;
        SettingsFile::write(ini, s, QRect(10, 20, 600, 280), -1, { { QStringLiteral("p0"), true } });
        ini.save();
        ProfileFile back(f);
        QCOMPARE(back.sectionNames(),
            QStringList({ QStringLiteral("Section-Update"), QStringLiteral("Mine"), QStringLiteral("Section-Misc"),
                QStringLiteral("Section-Window"), QStringLiteral("Section-Options"),
                QStringLiteral("MainFormSettingsListBox"), QStringLiteral("MainFormSettingsListBoxChecked"),
                QStringLiteral("Section-Settings") }));
        QCOMPARE(back.readString(QStringLiteral("Section-Update"), QStringLiteral("FtpHostName"), QStringLiteral("?")),
            QString());
        QCOMPARE(back.keyNames(QStringLiteral("Section-Update")).size(), 4);
        QCOMPARE(back.readString(QStringLiteral("MainFormSettingsListBox"), QStringLiteral("0"), QString()),
            QStringLiteral("p0"));
        QCOMPARE(back.readInteger(QStringLiteral("Section-Window"), QStringLiteral("Top"), 0), 20);
        QCOMPARE(back.readInteger(QStringLiteral("Section-Settings"), QStringLiteral("CurrentPage"), 0), -1);
        QCOMPARE(back.readInteger(QStringLiteral("Section-Misc"), QStringLiteral("TimeToWait"), 0), 250);
        QCOMPARE(back.keyNames(QStringLiteral("Section-Window")),
            QStringList({ QStringLiteral("SaveFormSize"), QStringLiteral("SaveFormPosition"),
                QStringLiteral("DefaultTop"), QStringLiteral("DefaultLeft"), QStringLiteral("DefaultHeight"),
                QStringLiteral("DefaultWidth"), QStringLiteral("Top"), QStringLiteral("Left"), QStringLiteral("Height"),
                QStringLiteral("Width") }));
        QCOMPARE(back.readString(QStringLiteral("Mine"), QStringLiteral("keep"), QString()), QStringLiteral("1"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
