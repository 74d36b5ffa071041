#include "Replacement.h"

#include "Folder.h"

namespace vaultine {

Replacement::Replacement(const Folder &folder, const QString &name, const FileState *existing)
    : m_folder(folder)
    , m_name(name)
    , m_replacing(existing != nullptr)
{
    if (existing)
        m_existing = *existing;
}

Replacement::~Replacement()
{
    discard();
}

bool Replacement::targetStillAsRead() const
{
    FileState now;
    const bool present = m_folder.lookUp(m_name, &now) == Folder::Entry::Present;
    return m_replacing ? present && m_existing.isUnchanged(now) : !present;
}

} // namespace vaultine
