#pragma once

#include "presettext.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The rules behind the settings dialog, the screen presets, the style choice and the About
// box's fade, kept free of widgets.
namespace SettingsRules {

// Where the settings dialog goes beside the main window (Left/Top/Width/Height as the window
// reports them): to its right with tops aligned when it ends short of the work area's width,
// else below it with left edges aligned when it ends short of the work area's height, else
// nowhere in particular (nullopt: centre it). Ending exactly at the edge does not count.
std::optional<QPoint> dialogPosition(const QRect &mainWindow, const QSize &dialog, const QSize &workArea);

// The geometry that "almost full screen" gives on a work area of this size: 30 pixels from
// the screen's top left corner, 60 pixels smaller than the work area each way.
PresetText::Geometry almostFullScreen(const QSize &workArea);

// The outer geometry (frame included) a window gets when asked for `wanted` from a file, a
// preset or the settings dialog's edits, on screens with these work areas: no larger than
// the screens together can show and no smaller than `smallest`, and placed so that its top
// edge lies on a screen's work area with enough of it showing to take hold of (a window that
// fits where it is asked to go stays there). Sums are taken in 64 bits, so no value wraps.
// Without any work area the size is only kept from below `smallest`.
PresetText::Geometry reachableGeometry(
    const PresetText::Geometry &wanted, const QList<QRect> &workAreas, const QSize &smallest);

// A size, position or rectangle written by hand to a widget (the object inspector's edits),
// kept to what screens with these areas show: no extent beyond the screens' together (a size
// of 30000 x 30000 asks for gigabytes of backing store); a top-level window's
// place kept reachable as reachableGeometry keeps it, a child's within the screens' extent of
// its parent. `maximum` marks a maximum size, whose QWIDGETSIZE_MAX (no maximum) stays.
// Values of other types, and any value without screens, are returned as they are.
QVariant shownGeometryValue(const QVariant &value, bool topLevel, bool maximum, const QList<QRect> &screens);

// The entry to select after deleting entry `deleted`, `remaining` entries being left; -1
// selects nothing.
int selectionAfterDelete(int deleted, int remaining);

// A size the window can take: values below `smallest` (an emptied edit reads 0) become it.
int usableExtent(int value, int smallest);

// The name under which `offered` has `name`, compared without regard to case; empty if none.
QString findStyleName(const QStringList &offered, const QString &name);
// The names in the order the menu and the list show them: sorted without regard to case.
QStringList sortedStyleNames(QStringList names);

// The About box's fade: opacity 0..255 rising by 5 per tick while it comes in, falling by 20
// per tick once a close was asked for. The box's timer drives it; tests drive it by hand.
class AboutFade
{
public:
    enum class Type { In, Out };
    enum class Tick { Continue, StopTimer, Close };

    int alpha() const { return m_alpha; }
    Type type() const { return m_type; }
    bool timerRunning() const { return m_timer; }

    // One timer tick; Close asks the box to close (which closeRequest then allows).
    Tick tick();
    // A request to close the box: true allows it (the fade-out has run or is running),
    // false refuses it and starts the fade-out from fully opaque.
    bool closeRequest();

private:
    int m_alpha = 0;
    Type m_type = Type::In;
    bool m_timer = true;
};

} // namespace SettingsRules

namespace SettingsRules {
// A menu caption for a text shown as it is: "&" doubled, and an access key marked before the
// first letter or digit whose key is not yet in `taken` (the key is then added to it).
QString menuCaption(const QString &text, QString &taken);
} // namespace SettingsRules
