#include "sessionfile.h"

#include "profilefile.h"

#include <algorithm>

namespace SessionFile {

namespace {
const QString kScreen = QStringLiteral("Screen");
const QString kFrame = QStringLiteral("Frame");
const QString kColumn2 = QStringLiteral("FrameColumn2");
const QString kFrame2 = QStringLiteral("Frame2");
const QString kCount = QStringLiteral("Count");

QList<Frame> readColumn(const ProfileFile &file, const QString &prefix, int count)
{
    QList<Frame> frames;
    const Frame defaults;
    for (int i = 0; i < count; ++i) {
        const QString s = prefix + QString::number(i);
        Frame f;
        f.host = file.readString(s, QStringLiteral("HostEditText"), defaults.host);
        f.points = file.readInteger(s, QStringLiteral("SpinEditValue"), defaults.points);
        f.details = file.readInteger(s, QStringLiteral("BottomRightPanelVisible"), 0) != 0;
        f.running = file.readInteger(s, QStringLiteral("AutoStart"), 0) != 0;
        frames.append(f);
    }
    return frames;
}

void writeColumn(ProfileFile &file, const QString &prefix, const QList<Frame> &frames)
{
    for (int i = 0; i < frames.size(); ++i) {
        const QString s = prefix + QString::number(i);
        file.writeString(s, QStringLiteral("HostEditText"), frames[i].host);
        file.writeInteger(s, QStringLiteral("SpinEditValue"), frames[i].points);
        file.writeBool(s, QStringLiteral("BottomRightPanelVisible"), frames[i].details);
        file.writeBool(s, QStringLiteral("AutoStart"), frames[i].running);
    }
}
} // namespace

Board read(const ProfileFile &file)
{
    Board b;
    b.preset = file.readString(kScreen, QStringLiteral("Preset"), QString());
    b.column2Visible = file.readInteger(kColumn2, QStringLiteral("Visible"), 0) != 0;
    b.listed1 = std::max(0, file.readInteger(kFrame, kCount, 0));
    b.listed2 = std::max(0, file.readInteger(kFrame2, kCount, 0));
    b.column1 = readColumn(file, QStringLiteral("Frame_"), std::min(b.listed1, kMaxFramesPerColumn));
    b.column2 = readColumn(file, QStringLiteral("Frame2_"), std::min(b.listed2, kMaxFramesPerColumn));
    return b;
}

QString tooManyFramesMessage(const QString &fileName, const Board &board)
{
    QStringList over;
    if (board.listed1 > kMaxFramesPerColumn)
        over << QStringLiteral("%1 frames in column 1").arg(board.listed1);
    if (board.listed2 > kMaxFramesPerColumn)
        over << (over.isEmpty() ? QStringLiteral("%1 frames in column 2") : QStringLiteral("%1 in column 2"))
                    .arg(board.listed2);
    if (over.isEmpty())
        return QString();
    return QStringLiteral("The session \"%1\" lists %2; only the first %3 frames of a column were made.")
        .arg(fileName, over.join(QStringLiteral(" and ")), QString::number(kMaxFramesPerColumn));
}

void write(ProfileFile &file, const Board &board)
{
    file.writeString(kScreen, QStringLiteral("Preset"), board.preset);
    file.writeInteger(kFrame, kCount, int(board.column1.size()));
    file.writeBool(kColumn2, QStringLiteral("Visible"), board.column2Visible);
    file.writeInteger(kFrame2, kCount, int(board.column2.size()));
    writeColumn(file, QStringLiteral("Frame_"), board.column1);
    // A hidden column 2 is normally empty; one that holds frames (a hand-edited file loads
    // them) is written too, or its count would name sections that are not there.
    if (board.column2Visible || !board.column2.isEmpty())
        writeColumn(file, QStringLiteral("Frame2_"), board.column2);
}

QString proposedName(const QDateTime &when)
{
    return QStringLiteral("Session_") + when.toString(QStringLiteral("yyyy-MM-dd_HH.mm.ss")) + QStringLiteral(".txt");
}

QString withTxtExtension(const QString &path)
{
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    // A dot that only starts a hidden file's name is no extension.
    if (dot > nameStart)
        return path.left(dot) + QStringLiteral(".txt");
    return path + QStringLiteral(".txt");
}

} // namespace SessionFile
