#include "hostspec.h"

#include "hoststate.h"

#include <QList>

#include <algorithm>
#include <cmath>

namespace Duration {

bool parse(const QString &text, double *ms)
{
    static constexpr struct
    {
        const char16_t *unit;
        double ms;
    } units[] = { { u"ms", 1.0 }, { u"s", 1000.0 }, { u"m", 60000.0 }, { u"h", 3600000.0 } };
    qsizetype digits = 0;
    while (digits < text.size() && (text.at(digits).isDigit() || text.at(digits) == u'.'))
        ++digits;
    if (digits == 0 || digits > 24)
        return false;
    const QString number = text.left(digits);
    const QString unit = text.mid(digits);
    // toDouble takes exponents, signs and blanks; only plain digits with one point are wanted.
    if (number.count(u'.') > 1 || number == QStringLiteral("."))
        return false;
    for (const auto &u : units) {
        if (unit != QStringView(u.unit))
            continue;
        bool ok = false;
        const double value = number.toDouble(&ok);
        if (!ok || !std::isfinite(value))
            return false;
        *ms = value * u.ms;
        return true;
    }
    return false;
}

QString format(int ms)
{
    if (ms != 0 && ms % 3600000 == 0)
        return QStringLiteral("%1h").arg(ms / 3600000);
    if (ms != 0 && ms % 60000 == 0)
        return QStringLiteral("%1m").arg(ms / 60000);
    if (ms != 0 && ms % 1000 == 0)
        return QStringLiteral("%1s").arg(ms / 1000);
    return QStringLiteral("%1ms").arg(ms);
}

} // namespace Duration

namespace {

struct Word
{
    qsizetype from; // where the blanks before it begin
    qsizetype to; // one past its last character
    QString name; // an option's name, empty for any other word
    double ms = 0; // a duration's milliseconds, or a share's percent
};

// "5%", "12.5%" or "5": a share in percent, plain digits with one point at most.
bool parsePercent(QString text, double *percent)
{
    if (text.endsWith(u'%'))
        text.chop(1);
    if (text.isEmpty() || text.size() > 24 || text.count(u'.') > 1 || text == QStringLiteral("."))
        return false;
    for (QChar c : std::as_const(text))
        if (!c.isDigit() && c != u'.')
            return false;
    bool ok = false;
    *percent = text.toDouble(&ok);
    return ok && std::isfinite(*percent);
}

// The words after the first, with the options among them recognised.
QList<Word> wordsAfterFirst(const QString &text)
{
    QList<Word> words;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i).isSpace())
        ++i;
    while (i < n && !text.at(i).isSpace())
        ++i;
    while (i < n) {
        const qsizetype blanks = i;
        while (i < n && text.at(i).isSpace())
            ++i;
        if (i == n)
            break;
        const qsizetype start = i;
        while (i < n && !text.at(i).isSpace())
            ++i;
        Word w { blanks, i, QString() };
        const QStringView word = QStringView(text).mid(start, i - start);
        const qsizetype eq = word.indexOf(u'=');
        if (eq > 0) {
            const QString name = word.left(eq).toString();
            double ms = 0;
            const QString value = word.mid(eq + 1).toString();
            const bool duration = name == QStringLiteral("interval") || name == QStringLiteral("timeout")
                || name == QStringLiteral("slow");
            if ((duration && Duration::parse(value, &ms))
                || (name == QStringLiteral("loss") && parsePercent(value, &ms))) {
                w.name = name;
                w.ms = ms;
            }
        }
        words.append(w);
    }
    return words;
}

int bounded(double ms, int low, int high, const QString &name, QStringList *notes)
{
    if (ms < low) {
        notes->append(QStringLiteral("%1 below %2, %2 used").arg(name, Duration::format(low)));
        return low;
    }
    if (ms > high) {
        notes->append(QStringLiteral("%1 above %2, %2 used").arg(name, Duration::format(high)));
        return high;
    }
    return int(std::lround(ms));
}

} // namespace

HostSpec HostSpec::parse(const QString &text)
{
    HostSpec s;
    s.text = text;
    s.identity = text;
    const QList<Word> words = wordsAfterFirst(text);
    double interval = 0, timeout = 0, slow = 0, loss = 0;
    // Removed from the end so that the earlier positions stay valid.
    for (auto w = words.crbegin(); w != words.crend(); ++w) {
        if (w->name.isEmpty())
            continue;
        s.identity.remove(w->from, w->to - w->from);
        // The last of a name given twice wins: the first met from the end.
        if (w->name == QStringLiteral("interval") && !s.intervalGiven) {
            s.intervalGiven = true;
            interval = w->ms;
        } else if (w->name == QStringLiteral("timeout") && !s.timeoutGiven) {
            s.timeoutGiven = true;
            timeout = w->ms;
        } else if (w->name == QStringLiteral("slow") && !s.slowGiven) {
            s.slowGiven = true;
            slow = w->ms;
        } else if (w->name == QStringLiteral("loss") && !s.lossGiven) {
            s.lossGiven = true;
            loss = w->ms;
        }
    }
    if (s.intervalGiven)
        s.intervalMs = bounded(interval, kMinIntervalMs, kMaxIntervalMs, QStringLiteral("interval"), &s.notes);
    if (s.timeoutGiven)
        s.timeoutMs = bounded(timeout, kMinTimeoutMs, kMaxTimeoutMs, QStringLiteral("timeout"), &s.notes);
    if (s.slowGiven)
        s.slowMs = bounded(slow, HostState::Thresholds::kMinSlowMs, HostState::Thresholds::kMaxSlowMs,
            QStringLiteral("slow"), &s.notes);
    if (s.lossGiven) {
        // Above 100 % nothing would ever count as losing echoes.
        s.lossPercent = std::min(loss, 100.0);
        if (loss > 100)
            s.notes.append(QStringLiteral("loss above 100%, 100% used"));
    }
    const HostText::Parts parts = HostText::split(s.identity);
    s.address = parts.address;
    s.label = parts.label;
    return s;
}

QString HostSpec::withTiming(const QString &text, int intervalMs, int timeoutMs)
{
    QString out = text;
    const QList<Word> words = wordsAfterFirst(text);
    for (auto w = words.crbegin(); w != words.crend(); ++w)
        if (w->name == QStringLiteral("interval") || w->name == QStringLiteral("timeout"))
            out.remove(w->from, w->to - w->from);
    // Trailing blanks would put the new words apart from the rest.
    while (!out.isEmpty() && out.back().isSpace())
        out.chop(1);
    if (intervalMs != kDefaultIntervalMs)
        out += QStringLiteral(" interval=") + Duration::format(intervalMs);
    if (timeoutMs != kDefaultTimeoutMs)
        out += QStringLiteral(" timeout=") + Duration::format(timeoutMs);
    return out;
}
