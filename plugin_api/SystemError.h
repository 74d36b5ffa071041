// A system error number as the log shows it: the C library's text for it, in
// the local encoding.
#pragma once

#include <QString>

#include <cstring>

inline QString systemErrorText(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}
