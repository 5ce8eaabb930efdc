#include "appsettings.h"

#include "profilefile.h"
#include "skylarkerror.h"

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

// A text value no longer than kMaxSettingText; a longer one reads as the default, and its
// key is noted for the message.
QString readText(
    const ProfileFile &ini, const QString &section, const QString &key, const QString &def, SettingsExtras &x)
{
    const QString text = ini.readString(section, key, def);
    if (text.size() <= kMaxSettingText)
        return text;
    x.overlong.append(section + u'/' + key);
    return def;
}
} // namespace

void readOptions(const ProfileFile &ini, TAppSettings &s, SettingsExtras &x)
{
    s.Style = readText(ini, kOptions, QStringLiteral("Style"), QStringLiteral("Windows"), x);
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
        x.presets.append({ readText(ini, kPresets, key, QString(), x), ini.readBool(kPresetsChecked, key, false) });
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
    s.CntDwnFrm = std::clamp(ini.readInteger(kSettings, QStringLiteral("CntDwnFrm"), 10), 0, kMaxCntDwnFrm);
    s.NotifyHostDownUp = ini.readBool(kSettings, QStringLiteral("NotifyHostDownUp"), false);
    s.LogResults = ini.readBool(kSettings, QStringLiteral("LogResults"), false);
    s.MetricsAddress = readText(ini, kSettings, QStringLiteral("MetricsAddress"), QString(), x).trimmed();
    s.SlowMs = std::clamp(ini.readInteger(kSettings, QStringLiteral("SlowMs"), 250), 1, 60000);
    s.LossPercent = std::clamp(ini.readInteger(kSettings, QStringLiteral("LossPercent"), 10), 0, 100);
    s.Damping = std::clamp(ini.readInteger(kSettings, QStringLiteral("Damping"), 3), 1, 100);
    s.ChangeHook = readText(ini, kSettings, QStringLiteral("ChangeHook"), QString(), x).trimmed();
}

QString overlongMessage(const QString &fileName, const QStringList &overlong)
{
    if (overlong.isEmpty())
        return {};
    return QStringLiteral("The settings file %1 holds values longer than %2 characters, read as not set: %3.")
        .arg(Message::quoted(fileName), QString::number(kMaxSettingText), Message::excerpt(overlong.join(u", ")));
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
    // Likewise the health settings: written once they differ from their defaults or were there.
    const QStringList present = ini.keyNames(kSettings);
    const auto named
        = [&present](const char *key) { return present.contains(QLatin1String(key), Qt::CaseInsensitive); };
    if (s.SlowMs != 250 || named("SlowMs"))
        ini.writeInteger(kSettings, QStringLiteral("SlowMs"), s.SlowMs);
    if (s.LossPercent != 10 || named("LossPercent"))
        ini.writeInteger(kSettings, QStringLiteral("LossPercent"), s.LossPercent);
    if (s.Damping != 3 || named("Damping"))
        ini.writeInteger(kSettings, QStringLiteral("Damping"), s.Damping);
    if (!s.ChangeHook.isEmpty() || named("ChangeHook"))
        ini.writeString(kSettings, QStringLiteral("ChangeHook"), s.ChangeHook);

    ini.writeInteger(kMisc, QStringLiteral("TimeToWait"), s.TimeToWait);
}

} // namespace SettingsFile
