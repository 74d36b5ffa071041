#include "DurableFlush.h"

#include "Folder.h"
#include "Replacement.h"
#include "SystemCalls_unix.h"
#include "SystemError.h"

#include <map>
#include <unistd.h>

void flushTogether(const std::vector<Replacement *> &group,
                   const std::function<void(std::size_t index, const QString &reason)> &failed)
{
    if (group.size() == 1) {
        if (!group.front()->flush())
            failed(0, group.front()->errorString());
        return;
    }
    // syncfs() flushes everything of the file system, those files among it:
    // one call for all the files on it.
    std::map<quint64, const Folder *> fileSystems;
    for (const Replacement *replacement : group)
        fileSystems.emplace(replacement->newIdentity().volume, &replacement->folder());
    for (const auto &fileSystem : fileSystems) {
        if (::syncfs(unixcalls::fdOf(fileSystem.second->handle())) == 0)
            continue;
        const QString reason = systemErrorText(errno);
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (group[i]->newIdentity().volume == fileSystem.first)
                failed(i, reason);
        }
    }
}
