#pragma once

#include <QDateTime>

#include <functional>

// The program's idea of "now" and whether it is shutting down. Tests pin the clock.
namespace AppClock {
QDateTime now();
void setOverride(std::function<QDateTime()> fn); // empty restores the real clock

bool terminating();
void setTerminating(bool terminating);
} // namespace AppClock
