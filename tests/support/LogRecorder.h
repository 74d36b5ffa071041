// Collects the lines that the code under test hands to ShowLogFunc.
#pragma once

#include <QStringList>

namespace LogRecorder {
QStringList lines();
QStringList takeLines(); // returns the lines and forgets them
void clear();
} // namespace LogRecorder
