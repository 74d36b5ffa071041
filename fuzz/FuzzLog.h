// Log sink and checks shared by the fuzz targets.
#pragma once

#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace fuzzlog {
// The operations' log: keeps each line until the next take.
void record(const QString &line);
// Lines recorded since the last take.
QStringList take();
} // namespace fuzzlog

// A failed property aborts, which libFuzzer reports as a crash with the input.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
