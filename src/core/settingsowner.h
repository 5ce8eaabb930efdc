#pragma once

#include "appsettings.h"

#include <QObject>

#include <type_traits>

// The settings in force, with one owner: whoever changes a setting writes it through here,
// and whoever shows or follows one listens to `changed`.
class TSettingsOwner : public QObject
{
    Q_OBJECT
public:
    explicit TSettingsOwner(QObject *parent = nullptr)
        : QObject(parent)
    {
    }

    const TAppSettings &get() const { return m_settings; }
    // Replaces them all, as a read of the settings file does.
    void replace(const TAppSettings &settings);
    // One setting: set(&TAppSettings::LogResults, true).
    // Several at once, seen by the listeners as one change: edit([](TAppSettings &s) { ... }).
    template <class F> void edit(F &&change)
    {
        TAppSettings settings = m_settings;
        change(settings);
        replace(settings);
    }
    template <class T> void set(T TAppSettings::*setting, const std::type_identity_t<T> &value)
    {
        if (m_settings.*setting == value)
            return;
        m_settings.*setting = value;
        emit changed();
    }

signals:
    // Some setting has a new value.
    void changed();

private:
    TAppSettings m_settings;
};
