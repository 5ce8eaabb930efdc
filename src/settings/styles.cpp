#include "styles.h"

#include "settingsrules.h"
#include "skylarkerror.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace SkylarkStyles {

namespace {
const QString kFusion = QStringLiteral("Fusion");
const QString kFusionDark = QStringLiteral("Fusion Dark");

// What the desktop gave the program before any look was chosen; "Windows" brings it back.
// Qt's own style of that name is the old Windows 95 look, never what the name means here.
struct DesktopLook
{
    QString styleKey;
    QPalette palette;
};

const DesktopLook &desktopLook()
{
    static const DesktopLook look { QApplication::style()->name(), QApplication::palette() };
    return look;
}

QString &currentName()
{
    static QString name = QString::fromLatin1(kDefaultName);
    return name;
}

// Fusion's own layout of roles, in dark greys. The chart's series colours (green, orange,
// red) and the frames' yellow keep enough contrast against Base and Window.
QPalette darkPalette()
{
    const QColor window(53, 53, 53), base(35, 35, 35), text(230, 230, 230), disabled(128, 128, 128);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, QColor(25, 25, 25));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 80, 80));
    p.setColor(QPalette::Light, QColor(80, 80, 80));
    p.setColor(QPalette::Midlight, QColor(66, 66, 66));
    p.setColor(QPalette::Mid, QColor(100, 100, 100));
    p.setColor(QPalette::Dark, QColor(25, 25, 25));
    p.setColor(QPalette::Shadow, QColor(10, 10, 10));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(90, 160, 240));
    p.setColor(QPalette::LinkVisited, QColor(170, 130, 240));
    for (auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(80, 80, 80));
    return p;
}
} // namespace

QStringList names()
{
    return { QString::fromLatin1(kDefaultName), kFusion, kFusionDark };
}

bool apply(const QString &name)
{
    const DesktopLook &desktop = desktopLook();
    const QString found = SettingsRules::findStyleName(names(), name);
    if (found.isEmpty())
        return false;
    const bool isDefault = found == QString::fromLatin1(kDefaultName);
    QStyle *style = QStyleFactory::create(isDefault ? desktop.styleKey : kFusion);
    if (!style)
        return false;
    QApplication::setStyle(style);
    QApplication::setPalette(found == kFusionDark ? darkPalette() : desktop.palette);
    currentName() = found;
    return true;
}

bool applyWithMessage(const QString &name)
{
    if (apply(name))
        return true;
    ErrorDisplay::show(notFoundMessage(name));
    return false;
}

QString notFoundMessage(const QString &name)
{
    return QStringLiteral("Style '%1' not found").arg(Message::excerpt(name));
}

QString current()
{
    return currentName();
}

} // namespace SkylarkStyles
