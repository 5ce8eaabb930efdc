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
    return { 30, 30, workArea.height() - 60, workArea.width() - 60 };
}

PresetText::Geometry reachableGeometry(
    const PresetText::Geometry &wanted, const QList<QRect> &workAreas, const QSize &smallest)
{
    // How much of the window must show on its screen for the user to take hold of it.
    constexpr qint64 kHoldX = 100, kHoldY = 30;
    const qint64 minW = std::max(1, smallest.width()), minH = std::max(1, smallest.height());
    qint64 w = std::max<qint64>(wanted.width, minW), h = std::max<qint64>(wanted.height, minH);
    qint64 left = wanted.left, top = wanted.top;
    if (workAreas.isEmpty())
        return { wanted.top, wanted.left, int(h), int(w) };

    QRect desktop;
    for (const QRect &a : workAreas)
        desktop |= a;
    w = std::min(w, std::max<qint64>(desktop.width(), minW));
    h = std::min(h, std::max<qint64>(desktop.height(), minH));

    // The screen the window is mostly on, else the one nearest to it.
    auto overlap = [&](const QRect &a) {
        const qint64 x = std::min<qint64>(left + w, qint64(a.x()) + a.width()) - std::max<qint64>(left, a.x());
        const qint64 y = std::min<qint64>(top + h, qint64(a.y()) + a.height()) - std::max<qint64>(top, a.y());
        return x > 0 && y > 0 ? x * y : 0;
    };
    auto distance = [&](const QRect &a) {
        auto gap = [](qint64 lo, qint64 hi, qint64 from, qint64 to) {
            return to <= lo ? lo - to : from >= hi ? from - hi : 0;
        };
        const qint64 dx = gap(a.x(), qint64(a.x()) + a.width(), left, left + w);
        const qint64 dy = gap(a.y(), qint64(a.y()) + a.height(), top, top + h);
        // Far-off values stay far below the 64-bit limit: the inputs are 32-bit.
        return dx + dy;
    };
    const QRect *best = &workAreas.front();
    for (const QRect &a : workAreas)
        if (overlap(a) > overlap(*best) || (overlap(*best) == 0 && overlap(a) == 0 && distance(a) < distance(*best)))
            best = &a;
    const qint64 aLeft = best->x(), aTop = best->y(), aRight = aLeft + best->width(), aBottom = aTop + best->height();
    const qint64 holdX = std::min(w, kHoldX), holdY = std::min(h, kHoldY);
    left = std::clamp(left, aLeft + holdX - w, std::max(aLeft, aRight - holdX));
    top = std::clamp(top, aTop, std::max(aTop, aBottom - holdY));
    return { int(top), int(left), int(h), int(w) };
}

QVariant shownGeometryValue(const QVariant &value, bool topLevel, bool maximum, const QList<QRect> &screens)
{
    if (screens.isEmpty())
        return value;
    QRect desktop;
    for (const QRect &a : screens)
        desktop |= a;
    constexpr int kNoMaximum = (1 << 24) - 1; // QWIDGETSIZE_MAX
    // Below 0 the widget refuses the value itself.
    auto extent = [maximum](int v, int most) { return maximum && v == kNoMaximum ? v : std::min(v, most); };
    auto size
        = [&](QSize s) { return QSize(extent(s.width(), desktop.width()), extent(s.height(), desktop.height())); };
    // A child's coordinates are its parent's, which lies somewhere on the screens.
    auto childPoint = [&](QPoint p) {
        return QPoint(std::clamp(p.x(), -desktop.width(), desktop.width()),
            std::clamp(p.y(), -desktop.height(), desktop.height()));
    };
    auto place = [&](QPoint at, QSize s) {
        if (!topLevel)
            return QRect(childPoint(at), s);
        const PresetText::Geometry g
            = reachableGeometry({ at.y(), at.x(), s.height(), s.width() }, screens, QSize(1, 1));
        return QRect(g.left, g.top, s.width(), s.height());
    };
    switch (value.typeId()) {
    case QMetaType::QSize:
        return size(value.toSize());
    case QMetaType::QPoint:
        return place(value.toPoint(), QSize(1, 1)).topLeft();
    case QMetaType::QRect: {
        const QRect r = value.toRect();
        return place(r.topLeft(), size(r.size()));
    }
    default:
        return value;
    }
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
    return std::max({ value, smallest, 1 });
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
