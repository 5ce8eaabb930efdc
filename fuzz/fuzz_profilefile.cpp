// Profile file and settings: a file read and saved reads back with the same sections, keys and
// values; the settings read from it, written and saved read back as written.
#include "appsettings.h"
#include "fuzzcheck.h"
#include "profilefile.h"

#include <QFile>
#include <QRect>
#include <QTemporaryDir>

namespace {

struct Snapshot
{
    QStringList sections;
    QList<QStringList> keys;
    QList<QStringList> values;
    bool operator==(const Snapshot &) const = default;
};

Snapshot snapshot(const ProfileFile &ini)
{
    Snapshot s;
    s.sections = ini.sectionNames();
    for (const QString &section : s.sections) {
        s.keys.append(ini.keyNames(section));
        QStringList values;
        for (const QString &key : s.keys.last())
            values.append(ini.readString(section, key, QStringLiteral("<none>")));
        s.values.append(values);
    }
    return s;
}

struct Settings
{
    TAppSettings s;
    SettingsExtras x;
};

Settings readAll(const ProfileFile &ini)
{
    Settings r;
    SettingsFile::readOptions(ini, r.s, r.x);
    SettingsFile::readWindow(ini, r.s);
    SettingsFile::readMisc(ini, r.s, r.x);
    SettingsFile::readSettings(ini, r.s, r.x);
    return r;
}

void checkSame(const Settings &a, const Settings &b)
{
    const TAppSettings &s = a.s, &t = b.s;
    FUZZ_CHECK(s.SaveFormSize == t.SaveFormSize && s.SaveFormPosition == t.SaveFormPosition, "SaveForm*");
    FUZZ_CHECK(s.DefaultTop == t.DefaultTop && s.DefaultLeft == t.DefaultLeft && s.DefaultHeight == t.DefaultHeight
            && s.DefaultWidth == t.DefaultWidth,
        "Default*");
    FUZZ_CHECK(s.Top == t.Top && s.Left == t.Left && s.Height == t.Height && s.Width == t.Width,
        "geometry" << s.Top << s.Left << s.Height << s.Width << t.Top << t.Left << t.Height << t.Width);
    FUZZ_CHECK(s.Style == t.Style, "Style" << s.Style << t.Style);
    FUZZ_CHECK(s.StylesMM == t.StylesMM && s.StylesEnabled == t.StylesEnabled, "Styles*");
    FUZZ_CHECK(s.AutoStartPinging == t.AutoStartPinging && s.StartTimeoutPnlVisible == t.StartTimeoutPnlVisible
            && s.ConvertToLC == t.ConvertToLC && s.ConvertToUC == t.ConvertToUC
            && s.PauseForRemoveFrame == t.PauseForRemoveFrame && s.CntDwnFrm == t.CntDwnFrm,
        "behaviour switches");
    FUZZ_CHECK(s.TimeToWait == t.TimeToWait, "TimeToWait");
    FUZZ_CHECK(a.x.CurrentPage == b.x.CurrentPage, "CurrentPage");
    FUZZ_CHECK(
        a.x.SelectFileHeight == b.x.SelectFileHeight && a.x.SelectFileWidth == b.x.SelectFileWidth, "SelectFile*");
    FUZZ_CHECK(a.x.presets.size() == b.x.presets.size(), "preset count" << a.x.presets.size() << b.x.presets.size());
    for (qsizetype i = 0; i < a.x.presets.size(); ++i)
        FUZZ_CHECK(a.x.presets[i].text == b.x.presets[i].text && a.x.presets[i].checked == b.x.presets[i].checked,
            "preset" << i << a.x.presets[i].text << b.x.presets[i].text);
}

int clamp(int v)
{
    return qBound(-100000, v, 100000);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Skylark.INI"));
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }

    // Read, save untouched, read again.
    ProfileFile first(file);
    const Snapshot before = snapshot(first);
    const Settings settings = readAll(first);
    first.save();
    ProfileFile second(file);
    FUZZ_CHECK(snapshot(second) == before,
        "saved file reads differently:" << before.sections << before.keys << before.values << "now"
                                        << snapshot(second).sections << snapshot(second).keys
                                        << snapshot(second).values);
    checkSame(readAll(second), settings);

    // Write the settings read (as the window would at close), save, read again.
    Settings expected = settings;
    const QRect geometry(
        clamp(settings.s.Left), clamp(settings.s.Top), clamp(settings.s.Width), clamp(settings.s.Height));
    SettingsFile::write(second, settings.s, geometry, settings.x.CurrentPage, settings.x.presets);
    second.save();
    if (settings.s.SaveFormPosition) {
        expected.s.Top = geometry.top();
        expected.s.Left = geometry.left();
    }
    if (settings.s.SaveFormSize) {
        expected.s.Height = geometry.height();
        expected.s.Width = geometry.width();
    }
    checkSame(readAll(ProfileFile(file)), expected);
    return 0;
}
