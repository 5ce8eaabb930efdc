#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

class ProfileFile;

// The in-memory settings, one value per key of "Skylark.INI", named after the key.
// Everything is zero, false or empty until the file is read.
struct TAppSettings
{
    // Section-Window
    bool SaveFormSize = false;
    bool SaveFormPosition = false;
    int DefaultTop = 0;
    int DefaultLeft = 0;
    int DefaultHeight = 0;
    int DefaultWidth = 0;
    int Top = 0;
    int Left = 0;
    int Height = 0;
    int Width = 0;
    // Section-Options
    QString Style;
    bool StylesMM = false;
    bool StylesEnabled = false;
    // Section-Settings
    bool AutoStartPinging = false;
    bool StartTimeoutPnlVisible = false;
    bool ConvertToLC = false;
    bool ConvertToUC = false;
    bool PauseForRemoveFrame = false;
    int CntDwnFrm = 0;
    bool NotifyHostDownUp = false;
    bool LogResults = false;
    QString MetricsAddress; // "127.0.0.1:9427"; empty: no metrics endpoint
    // A host is slow above this median RTT (ms) and losing echoes above this share (%), unless
    // its text says otherwise; a change of state is announced once held this many results.
    int SlowMs = 250;
    int LossPercent = 10;
    int Damping = 3;
    // Run at every announced change: a program and its arguments, split as a command line is
    // (quotes group, no shell); empty: none.
    QString ChangeHook;
    // Section-Misc
    int TimeToWait = 0;

    bool operator==(const TAppSettings &) const = default;
};

// The longest wait for pings in flight that TimeToWait can ask for: three echo time-outs. The
// waits block the window, and no echo is answered later than its time-out anyway.
inline constexpr int kMaxTimeToWait = 3 * 4000;

// The most screen presets read from the settings file: each is a list entry and a menu item.
inline constexpr int kMaxPresets = 1000;

// The longest countdown of the pause for pings, in seconds: the pause holds the window, and
// its label has room for two digits.
inline constexpr int kMaxCntDwnFrm = 99;

// The longest text the settings file may give a style name, an address or a screen preset.
// A longer one is read as if the key were not there, and said once (SettingsExtras::overlong).
inline constexpr int kMaxSettingText = 300;

struct ScreenPresetEntry
{
    QString text;
    bool checked = false;
    bool operator==(const ScreenPresetEntry &) const = default;
};

// What the settings file holds beyond TAppSettings: the settings dialog's page, the screen
// preset list and the file chooser's size.
struct SettingsExtras
{
    int CurrentPage = 2;
    QList<ScreenPresetEntry> presets;
    // The keys of the file's preset section, which may be more than were read (kMaxPresets).
    int presetsListed = 0;
    int SelectFileHeight = 275;
    int SelectFileWidth = 525;
    // The keys ("Section-Options/Style") whose text was too long and so read as missing.
    QStringList overlong;
};

// Reads and writes of the settings file, piece by piece as start-up and shutdown need them.
namespace SettingsFile {
inline constexpr auto kFileName = "Skylark.INI";

void readOptions(const ProfileFile &ini, TAppSettings &s, SettingsExtras &x);
void readWindow(const ProfileFile &ini, TAppSettings &s);
// File chooser size, TimeToWait (kept within 0 to kMaxTimeToWait) and the preset list.
void readMisc(const ProfileFile &ini, TAppSettings &s, SettingsExtras &x);
// CurrentPage and the behaviour switches (CntDwnFrm kept within 0 to kMaxCntDwnFrm).
void readSettings(const ProfileFile &ini, TAppSettings &s, SettingsExtras &x);
// The one message for the texts of SettingsExtras::overlong; empty when there are none.
QString overlongMessage(const QString &fileName, const QStringList &overlong);
// The whole file in its write order; geometry is the main window's at this moment.
void write(ProfileFile &ini, const TAppSettings &s, const QRect &geometry, int currentPage,
    const QList<ScreenPresetEntry> &presets);
} // namespace SettingsFile
