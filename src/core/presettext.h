#pragma once

#include <QString>

#include <optional>

// A window geometry as one line of text, "T:75 | L:75 | H:280 | W:600", as kept in the
// screen preset list and in session files.
namespace PresetText {

struct Geometry
{
    int top = 0, left = 0, height = 0, width = 0;
    bool operator==(const Geometry &) const = default;
};

// Numbers in decimal; a negative one gets its minus sign (and so will not parse back).
QString compose(int top, int left, int height, int width);
inline QString compose(const Geometry &g)
{
    return compose(g.top, g.left, g.height, g.width);
}

// The first "T:<digits> | L:<digits> | H:<digits> | W:<digits>" anywhere in the text.
// Only digits match, so negative numbers do not; a number too large for an int makes the
// text not match at all rather than give a wrapped value.
std::optional<Geometry> parse(const QString &text);

} // namespace PresetText
