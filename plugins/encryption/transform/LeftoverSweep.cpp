#include "LeftoverSweep.h"

#include "filesystem/Folder.h"
#include "filesystem/TemporaryName.h"
#include "format/ActionLogLines.h"
#include "format/LogLines.h"
#include "format/NativePath.h"

#include <vector>

namespace vaultine {

namespace filecrypt {

QString leftoverLine(LeftoverFate fate, const QString &path, const QString &reason)
{
    using namespace actionlines;
    switch (fate) {
    case LeftoverFate::Removed:
        return kLeftoverRemoved + nativePath(path);
    case LeftoverFate::Gone:
        break;
    case LeftoverFate::InUse:
        return kLeftoverInUse + nativePath(path);
    case LeftoverFate::MayBeOnlyCopy:
        return kLeftoverMayBeOnlyCopy + nativePath(path);
    case LeftoverFate::NotRemoved:
        return reason.isEmpty() ? kLeftoverNotRemoved + nativePath(path)
                                : loglines::withReason(kLeftoverNotRemoved, path, reason);
    }
    return QString();
}

bool staysBehind(LeftoverFate fate)
{
    return fate == LeftoverFate::MayBeOnlyCopy || fate == LeftoverFate::NotRemoved;
}

void sweepLeftovers(const Folder &folder, const Control &control)
{
    std::vector<ListedName> names;
    if (!listNames(folder.path(), &names))
        return;
    for (const ListedName &listed : names) {
        if (!temporaryname::isTemporary(listed.name))
            continue;
        QString reason;
        const LeftoverFate fate = clearLeftover(folder, listed.name, &reason);
        const QString line = leftoverLine(fate, folder.path() + QLatin1Char('/') + listed.name, reason);
        if (!line.isEmpty())
            control.line(line);
    }
}

} // namespace filecrypt

} // namespace vaultine
