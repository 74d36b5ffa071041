// Collects the lines that the code under test hands to ShowLogFunc, and the
// summaries it hands to ShowNoticeFunc.
#pragma once

#include <QStringList>

namespace logrecorder {
QStringList lines();
QStringList takeLines(); // returns the lines and forgets them
void clear();
// The summaries of ShowNoticeFunc, oldest first; forgotten once taken.
QStringList takeNotices();
} // namespace logrecorder
