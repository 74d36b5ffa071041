#include "FolderHandles.h"

namespace vaultine {

namespace {

FolderHandles::Status statusOf(Folder::Opened opened)
{
    switch (opened) {
    case Folder::Opened::Ok:
        return FolderHandles::Status::Ok;
    case Folder::Opened::Missing:
        return FolderHandles::Status::Missing;
    case Folder::Opened::Replaced:
        return FolderHandles::Status::Swapped;
    case Folder::Opened::Unreadable:
        break;
    }
    return FolderHandles::Status::Unreadable;
}

} // namespace

FolderHandles::FolderHandles(const FolderListing &listing, std::size_t spare)
    : m_listing(listing)
    , m_spare(spare)
{
}

const Folder *FolderHandles::openPinned(int index, Status *status)
{
    std::lock_guard<std::mutex> lock(m_lock);
    *status = Status::Ok;
    const Folder *folder = open(index, status);
    if (folder)
        ++m_open.at(index).pins;
    evict();
    return folder;
}

void FolderHandles::unpin(int index)
{
    std::lock_guard<std::mutex> lock(m_lock);
    auto found = m_open.find(index);
    if (found != m_open.end() && found->second.pins > 0)
        --found->second.pins;
    evict();
}

const Folder *FolderHandles::open(int index, Status *status)
{
    auto found = m_open.find(index);
    if (found != m_open.end()) {
        found->second.used = ++m_clock;
        return &found->second.folder;
    }
    const WalkedFolder &walked = m_listing.folders[std::size_t(index)];
    Folder folder;
    Folder::Opened opened = Folder::Opened::Ok;
    if (walked.parent < 0) {
        // The dropped folder itself, as the user named it.
        opened = folder.open(m_listing.root);
    } else {
        const Folder *parent = open(walked.parent, status);
        if (!parent)
            return nullptr;
        opened = folder.openChild(*parent, walked.name);
    }
    if (opened != Folder::Opened::Ok) {
        *status = folder.shortage() == Shortage::Handles ? Status::NoHandles : statusOf(opened);
        return nullptr;
    }
    FileIdentity identity;
    if (!folder.identify(&identity) || identity != walked.identity) {
        *status = Status::Swapped;
        return nullptr;
    }
    Entry &entry = m_open[index];
    entry.folder = std::move(folder);
    entry.used = ++m_clock;
    return &entry.folder;
}

void FolderHandles::evict()
{
    std::size_t unpinned = 0;
    for (const auto &entry : m_open)
        unpinned += entry.second.pins == 0 ? 1 : 0;
    while (unpinned > m_spare) {
        auto oldest = m_open.end();
        for (auto it = m_open.begin(); it != m_open.end(); ++it) {
            if (it->second.pins == 0 && (oldest == m_open.end() || it->second.used < oldest->second.used))
                oldest = it;
        }
        m_open.erase(oldest);
        --unpinned;
    }
}

} // namespace vaultine
