#include "Replacement.h"

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
