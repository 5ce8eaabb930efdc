#include "settingsrules.h"

#include <algorithm>

namespace SettingsRules {

std::optional<QPoint> dialogPosition(const QRect &mainWindow, const QSize &dialog, const QSize &workArea)
{
    // 64-bit sums: geometry edits take any integer, and the comparison must not wrap.
    const qint64 left = mainWindow.x(), top = mainWindow.y();
    if (left + mainWindow.width() + dialog.width() < workArea.width())
        return QPoint(int(left + mainWindow.width()), int(top));
    if (top + mainWindow.height() + dialog.height() < workArea.height())
        return QPoint(int(left), int(top + mainWindow.height()));
    return std::nullopt;
}

PresetText::Geometry almostFullScreen(const QSize &workArea)
{
    return {30, 30, workArea.height() - 60, workArea.width() - 60};
}

int selectionAfterDelete(int deleted, int remaining)
{
    if (remaining <= 0)
        return -1;
    if (deleted <= 0)
        return 0;
    return std::min(deleted, remaining - 1);
}

int usableExtent(int value, int smallest)
{
    return std::max({value, smallest, 1});
}

QString findStyleName(const QStringList &offered, const QString &name)
{
    for (const QString &n : offered)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return n;
    return QString();
}

QStringList sortedStyleNames(QStringList names)
{
    std::stable_sort(names.begin(), names.end(),
                     [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

AboutFade::Tick AboutFade::tick()
{
    if (!m_timer)
        return Tick::StopTimer;
    if (m_type == Type::In) {
        if (m_alpha >= 255) {
            m_timer = false;
            return Tick::StopTimer;
        }
        m_alpha = std::min(255, m_alpha + 5);
        return Tick::Continue;
    }
    if (m_alpha <= 0) {
        m_timer = false;
        return Tick::Close;
    }
    m_alpha = m_alpha < 21 ? 0 : m_alpha - 20;
    return Tick::Continue;
}

bool AboutFade::closeRequest()
{
    if (m_type == Type::Out)
        return true;
    m_type = Type::Out;
    m_alpha = 255;
    m_timer = true;
    return false;
}

} // namespace SettingsRules

namespace SettingsRules {
QString menuCaption(const QString &text, QString &taken)
{
    QString caption;
    bool marked = false;
    for (const QChar c : text) {
        if (!marked && c.isLetterOrNumber() && !taken.contains(c.toLower())) {
            caption += u'&';
            taken += c.toLower();
            marked = true;
        }
        caption += c;
        if (c == u'&')
            caption += u'&';
    }
    return caption;
}
} // namespace SettingsRules
