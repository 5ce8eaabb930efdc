#include "appsettings.h"

#include "profilefile.h"

#include <algorithm>

namespace SettingsFile {

namespace {
const QString kWindow = QStringLiteral("Section-Window");
const QString kOptions = QStringLiteral("Section-Options");
const QString kSettings = QStringLiteral("Section-Settings");
const QString kMisc = QStringLiteral("Section-Misc");
const QString kUpdate = QStringLiteral("Section-Update");
const QString kPresets = QStringLiteral("MainFormSettingsListBox");
const QString kPresetsChecked = QStringLiteral("MainFormSettingsListBoxChecked");
} // namespace

void readOptions(const ProfileFile &ini, TAppSettings &s)
{
    s.Style = ini.readString(kOptions, QStringLiteral("Style"), QStringLiteral("Windows"));
    s.StylesMM = ini.readBool(kOptions, QStringLiteral("StylesMM"), false);
    s.StylesEnabled = ini.readBool(kOptions, QStringLiteral("StylesEnabled"), false);
}

void readWindow(const ProfileFile &ini, TAppSettings &s)
{
    s.DefaultTop = ini.readInteger(kWindow, QStringLiteral("DefaultTop"), 75);
    s.DefaultLeft = ini.readInteger(kWindow, QStringLiteral("DefaultLeft"), 75);
    s.DefaultHeight = ini.readInteger(kWindow, QStringLiteral("DefaultHeight"), 280);
    s.DefaultWidth = ini.readInteger(kWindow, QStringLiteral("DefaultWidth"), 600);
    s.SaveFormSize = ini.readBool(kWindow, QStringLiteral("SaveFormSize"), false);
    s.SaveFormPosition = ini.readBool(kWindow, QStringLiteral("SaveFormPosition"), false);
    if (s.SaveFormPosition) {
        s.Top = ini.readInteger(kWindow, QStringLiteral("Top"), s.DefaultTop);
        s.Left = ini.readInteger(kWindow, QStringLiteral("Left"), s.DefaultLeft);
    }
    if (s.SaveFormSize) {
        s.Height = ini.readInteger(kWindow, QStringLiteral("Height"), s.DefaultHeight);
        s.Width = ini.readInteger(kWindow, QStringLiteral("Width"), s.DefaultWidth);
    }
}

void readMisc(const ProfileFile &ini, TAppSettings &s, SettingsExtras &x)
{
    x.SelectFileHeight = ini.readInteger(kWindow, QStringLiteral("SelectFileHeight"), 275);
    x.SelectFileWidth = ini.readInteger(kWindow, QStringLiteral("SelectFileWidth"), 525);
    s.TimeToWait = std::clamp(ini.readInteger(kMisc, QStringLiteral("TimeToWait"), 400), 0, kMaxTimeToWait);
    // Entries are taken by index, as many as the section has keys, whatever their names.
    x.presetsListed = ini.keyCount(kPresets);
    const int n = std::min(x.presetsListed, kMaxPresets);
    x.presets.clear();
    for (int i = 0; i < n; ++i) {
        const QString key = QString::number(i);
        x.presets.append({ ini.readString(kPresets, key, QString()), ini.readBool(kPresetsChecked, key, false) });
    }
}

void readSettings(const ProfileFile &ini, TAppSettings &s, SettingsExtras &x)
{
    x.CurrentPage = ini.readInteger(kSettings, QStringLiteral("CurrentPage"), 2);
    s.AutoStartPinging = ini.readBool(kSettings, QStringLiteral("AutoStartPinging"), false);
    s.StartTimeoutPnlVisible = ini.readBool(kSettings, QStringLiteral("StartTimeoutPnlVisible"), true);
    s.ConvertToLC = ini.readBool(kSettings, QStringLiteral("ConvertToLC"), false);
    s.ConvertToUC = ini.readBool(kSettings, QStringLiteral("ConvertToUC"), false);
    s.PauseForRemoveFrame = ini.readBool(kSettings, QStringLiteral("PauseForRemoveFrame"), true);
    s.CntDwnFrm = ini.readInteger(kSettings, QStringLiteral("CntDwnFrm"), 10);
    s.NotifyHostDownUp = ini.readBool(kSettings, QStringLiteral("NotifyHostDownUp"), false);
    s.LogResults = ini.readBool(kSettings, QStringLiteral("LogResults"), false);
    s.MetricsAddress = ini.readString(kSettings, QStringLiteral("MetricsAddress"), QString()).trimmed();
}

void write(ProfileFile &ini, const TAppSettings &s, const QRect &geometry, int currentPage,
    const QList<ScreenPresetEntry> &presets)
{
    ini.writeBool(kWindow, QStringLiteral("SaveFormSize"), s.SaveFormSize);
    ini.writeBool(kWindow, QStringLiteral("SaveFormPosition"), s.SaveFormPosition);
    ini.writeInteger(kWindow, QStringLiteral("DefaultTop"), s.DefaultTop);
    ini.writeInteger(kWindow, QStringLiteral("DefaultLeft"), s.DefaultLeft);
    ini.writeInteger(kWindow, QStringLiteral("DefaultHeight"), s.DefaultHeight);
    ini.writeInteger(kWindow, QStringLiteral("DefaultWidth"), s.DefaultWidth);

    ini.writeInteger(kWindow, QStringLiteral("Top"), geometry.top());
    ini.writeInteger(kWindow, QStringLiteral("Left"), geometry.left());
    ini.writeInteger(kWindow, QStringLiteral("Height"), geometry.height());
    ini.writeInteger(kWindow, QStringLiteral("Width"), geometry.width());

    for (const char *key : { "FtpHostName", "FtpUserName", "FtpPassWord", "AppName" })
        ini.writeString(kUpdate, QString::fromLatin1(key), QString());

    ini.writeString(kOptions, QStringLiteral("Style"), s.Style);
    ini.writeBool(kOptions, QStringLiteral("StylesMM"), s.StylesMM);
    ini.writeBool(kOptions, QStringLiteral("StylesEnabled"), s.StylesEnabled);

    ini.eraseSection(kPresets);
    ini.eraseSection(kPresetsChecked);
    for (int i = 0; i < presets.size(); ++i) {
        ini.writeString(kPresets, QString::number(i), presets[i].text);
        ini.writeBool(kPresetsChecked, QString::number(i), presets[i].checked);
    }

    ini.writeInteger(kSettings, QStringLiteral("CurrentPage"), currentPage);
    ini.writeBool(kSettings, QStringLiteral("AutoStartPinging"), s.AutoStartPinging);
    ini.writeBool(kSettings, QStringLiteral("StartTimeoutPnlVisible"), s.StartTimeoutPnlVisible);
    ini.writeBool(kSettings, QStringLiteral("ConvertToLC"), s.ConvertToLC);
    ini.writeBool(kSettings, QStringLiteral("ConvertToUC"), s.ConvertToUC);
    ini.writeBool(kSettings, QStringLiteral("PauseForRemoveFrame"), s.PauseForRemoveFrame);
    ini.writeInteger(kSettings, QStringLiteral("CntDwnFrm"), s.CntDwnFrm);
    ini.writeBool(kSettings, QStringLiteral("NotifyHostDownUp"), s.NotifyHostDownUp);
    ini.writeBool(kSettings, QStringLiteral("LogResults"), s.LogResults);
    // The endpoint is off unless asked for; a file that never named it stays as it was.
    if (!s.MetricsAddress.isEmpty()
        || ini.keyNames(kSettings).contains(QStringLiteral("MetricsAddress"), Qt::CaseInsensitive))
        ini.writeString(kSettings, QStringLiteral("MetricsAddress"), s.MetricsAddress);

    ini.writeInteger(kMisc, QStringLiteral("TimeToWait"), s.TimeToWait);
}

} // namespace SettingsFile
