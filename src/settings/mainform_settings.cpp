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

void TMainForm::ReadIniOptions()
{
    Settings->edit(
        [this](TAppSettings &s) { SettingsFile::readOptions(ProfileFile(IniFileName()), s, SettingsExtra); });
}

void TMainForm::ReadIniWindow()
{
    Settings->edit([this](TAppSettings &s) { SettingsFile::readWindow(ProfileFile(IniFileName()), s); });
}

void TMainForm::ReadIniMisc()
{
    Settings->edit([this](TAppSettings &s) { SettingsFile::readMisc(ProfileFile(IniFileName()), s, SettingsExtra); });
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
    Settings->edit(
        [this](TAppSettings &s) { SettingsFile::readSettings(ProfileFile(IniFileName()), s, SettingsExtra); });
    if (SettingsForm)
        SettingsForm->SetCurrentPage(SettingsExtra.CurrentPage);
    // The last of the reads: the texts too long to use, of all of them, in one message.
    if (const QString overlong = SettingsFile::overlongMessage(IniFileName(), SettingsExtra.overlong);
        !overlong.isEmpty())
        QTimer::singleShot(0, this, [overlong] { ErrorDisplay::show(overlong); });
}

void TMainForm::WriteIniFile()
{
    QDir().mkpath(DtaDir);
    ProfileFile ini(IniFileName());
    if (SettingsForm) {
        SettingsExtra.CurrentPage = SettingsForm->CurrentPage();
        SettingsExtra.presets = SettingsForm->Presets();
    }
    const int page = SettingsExtra.CurrentPage >= 0 && SettingsExtra.CurrentPage <= 3 ? SettingsExtra.CurrentPage : -1;
    // The outer geometry, as it is applied at start-up.
    const PresetText::Geometry g = OuterGeometry();
    SettingsFile::write(ini, AppSettings, QRect(g.left, g.top, g.width, g.height), page, SettingsExtra.presets);
    ini.save();
}
