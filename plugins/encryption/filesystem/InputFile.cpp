#include "InputFile.h"

namespace vaultine {

bool InputFile::isStillAt(const QString &path) const
{
    FileState now;
    return stateAtPath(path, FollowLinks::Yes, &now) && m_state.isUnchanged(now);
}

} // namespace vaultine
