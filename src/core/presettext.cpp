#include "presettext.h"

#include <QRegularExpression>

namespace PresetText {

QString compose(int top, int left, int height, int width)
{
    return QStringLiteral("T:%1 | L:%2 | H:%3 | W:%4").arg(top).arg(left).arg(height).arg(width);
}

std::optional<Geometry> parse(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("T:(?<Top>[0-9]+) \\| L:(?<Left>[0-9]+) \\| H:(?<Height>[0-9]+) \\| W:(?<Width>[0-9]+)"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = m.capturedView(i + 1).toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    return Geometry { values[0], values[1], values[2], values[3] };
}

} // namespace PresetText
