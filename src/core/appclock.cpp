#include "appclock.h"

namespace AppClock {
namespace {
std::function<QDateTime()> &overrideFn()
{
    static std::function<QDateTime()> fn;
    return fn;
}
bool g_terminating = false;
} // namespace

QDateTime now()
{
    return overrideFn() ? overrideFn()() : QDateTime::currentDateTime();
}

void setOverride(std::function<QDateTime()> fn)
{
    overrideFn() = std::move(fn);
}

bool terminating()
{
    return g_terminating;
}

void setTerminating(bool terminating)
{
    g_terminating = terminating;
}
} // namespace AppClock
