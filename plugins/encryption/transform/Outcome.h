// What a caller hands a file operation, and what it gets back.
#pragma once

#include "LogFn.h"

#include <QtGlobal>

#include <atomic>
#include <functional>

namespace vaultine {

namespace filecrypt {

enum class Outcome {
    Done,      // the new content is in place and on disk
    Failed,    // refused or failed: logged, the file keeps its bytes
    Cancelled, // stopped on request: logged, the file keeps its bytes
};

// Where the lines go, how the work is stopped and where its progress goes.
// Each member may be left empty; all are used from the working thread.
struct Control
{
    LogFn log;
    const std::atomic<bool> *cancel = nullptr;
    std::function<void(qint64 done, qint64 total)> progress;

    void line(const QString &text) const
    {
        if (log)
            log(text);
    }
    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
    void reached(qint64 done, qint64 total) const
    {
        if (progress)
            progress(done, total);
    }
};

} // namespace filecrypt

} // namespace vaultine
