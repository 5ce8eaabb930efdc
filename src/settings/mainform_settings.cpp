// The settings file "Skylark.INI": read in pieces during start-up, written whole at shutdown.
#include "mainform.h"

#include "profilefile.h"
#include "settingsform.h"
#include "skylarkerror.h"

#include <QDir>
#include <QTimer>

QString TMainForm::IniFileName() const
{
    return DtaDir + QString::fromLatin1(SettingsFile::kFileName);
}

ProfileFile TMainForm::ReadIniFile()
{
    ProfileFile ini(IniFileName());
    if (!ini.readError().isEmpty() && !m_iniUnread) {
        m_iniUnread = true;
        // Told once the event loop runs, as start-up's other messages are.
        QTimer::singleShot(0, this, [why = ini.readError()] {
            ErrorDisplay::show(why
                + QStringLiteral("\n\nThe settings start from their defaults; the file is left as it is unless a "
                                 "setting is changed."));
        });
    }
    return ini;
}

void TMainForm::ReadIniOptions()
{
    Settings->edit([this](TAppSettings &s) { SettingsFile::readOptions(ReadIniFile(), s, SettingsExtra); });
}

void TMainForm::ReadIniWindow()
{
    Settings->edit([this](TAppSettings &s) { SettingsFile::readWindow(ReadIniFile(), s); });
}

void TMainForm::ReadIniMisc()
{
    Settings->edit([this](TAppSettings &s) { SettingsFile::readMisc(ReadIniFile(), s, SettingsExtra); });
    if (SettingsExtra.presetsListed > kMaxPresets) {
        // Told once start-up is over; the rest of start-up does not wait for the box.
        QTimer::singleShot(0, this, [this, listed = SettingsExtra.presetsListed] {
            ErrorDisplay::show(
                QStringLiteral("The settings file %1 lists %2 screen presets; only the first %3 "
                               "were read, and only they are kept.")
                    .arg(Message::quoted(IniFileName()), QString::number(listed), QString::number(kMaxPresets)));
        });
    }
    // From here on the dialog's list is the preset list.
    if (SettingsForm)
        SettingsForm->SetPresets(SettingsExtra.presets);
    PopulateScreenPresetsMenu();
}

void TMainForm::ReadIniSettings()
{
    Settings->edit([this](TAppSettings &s) { SettingsFile::readSettings(ReadIniFile(), s, SettingsExtra); });
    if (SettingsForm)
        SettingsForm->SetCurrentPage(SettingsExtra.CurrentPage);
    // The last of the reads: what the settings were at start-up, and the texts too long to use,
    // of all of them, in one message.
    m_iniSettingsRead = AppSettings;
    m_iniPresetsRead = SettingsExtra.presets;
    if (const QString overlong = SettingsFile::overlongMessage(IniFileName(), SettingsExtra.overlong);
        !overlong.isEmpty())
        QTimer::singleShot(0, this, [overlong] { ErrorDisplay::show(overlong); });
}

void TMainForm::WriteIniFile()
{
    if (SettingsForm) {
        SettingsExtra.CurrentPage = SettingsForm->CurrentPage();
        SettingsExtra.presets = SettingsForm->Presets();
    }
    // A file we could not read still holds the user's settings: defaults must not replace it.
    if (m_iniUnread
        && (!m_iniSettingsRead || (AppSettings == *m_iniSettingsRead && SettingsExtra.presets == m_iniPresetsRead)))
        return;
    QDir().mkpath(DtaDir);
    ProfileFile ini(IniFileName());
    const int page = SettingsExtra.CurrentPage >= 0 && SettingsExtra.CurrentPage <= 3 ? SettingsExtra.CurrentPage : -1;
    // The outer geometry, as it is applied at start-up.
    const PresetText::Geometry g = OuterGeometry();
    SettingsFile::write(ini, AppSettings, QRect(g.left, g.top, g.width, g.height), page, SettingsExtra.presets);
    ini.save();
}
