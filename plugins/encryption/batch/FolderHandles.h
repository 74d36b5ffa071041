// The walked folders held open, each opened from its parent without
// following a link and checked against the walk. Shared by every stage of a
// batch (Pipeline.h): a folder handed out stays pinned,
// never closed, until its user lets it go; of the others, the least recently
// used are closed beyond a few spare ones.
#pragma once

#include "batch/FolderWalk.h"
#include "filesystem/Folder.h"

#include <QtGlobal>

#include <cstddef>
#include <mutex>
#include <unordered_map>

namespace vaultine {

class FolderHandles
{
public:
    // NoHandles: the process held as many files open as it may.
    enum class Status { Ok, Missing, Swapped, Unreadable, NoHandles };

    // `spare`: folders kept open beyond those in use (HandleBudget).
    FolderHandles(const FolderListing &listing, std::size_t spare);
    FolderHandles(const FolderHandles &) = delete;
    FolderHandles &operator=(const FolderHandles &) = delete;
    ~FolderHandles() = default;

    // The folder, pinned; null with the reason when it cannot be reached as
    // the walk found it.
    const Folder *openPinned(int index, Status *status);
    void unpin(int index);

private:
    struct Entry
    {
        Folder folder;
        quint64 used = 0;
        int pins = 0;
    };

    const Folder *open(int index, Status *status);
    void evict();

    const FolderListing &m_listing;
    const std::size_t m_spare;
    std::mutex m_lock;
    std::unordered_map<int, Entry> m_open;
    quint64 m_clock = 0;
};

} // namespace vaultine
