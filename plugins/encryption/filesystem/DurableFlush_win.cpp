#include "DurableFlush.h"

#include "Replacement.h"

namespace vaultine {

void flushTogether(const std::vector<Replacement *> &group,
                   const std::function<void(std::size_t index, const QString &reason)> &failed)
{
    // Windows has no flush of a whole volume that a user may ask for: each
    // file is flushed on its own.
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (!group[i]->flush())
            failed(i, group[i]->errorString());
    }
}

} // namespace vaultine
