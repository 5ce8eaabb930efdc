#include "settingsowner.h"

void TSettingsOwner::replace(const TAppSettings &settings)
{
    if (m_settings == settings)
        return;
    m_settings = settings;
    emit changed();
}
