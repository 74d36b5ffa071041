// How a batch shares out the files the process may hold open: the one place
// that holds the numbers. With a limit that leaves room, groups overlap (one
// written while the one before is flushed and the one before that put in
// place), each file holding up to six handles over its way. Under a low
// limit that cannot be raised, groups go one at a time, each file holding
// two (the file read and its replacement), so that groups stay as large as
// the limit allows.
#pragma once

#include <cstddef>

namespace vaultine {

class HandleBudget
{
public:
    // The limit raised where it can be, and the handles already open.
    static HandleBudget now();
    HandleBudget(long limit, long inUse);

    // Files of one group.
    int groupFiles() const { return m_groupFiles; }
    // Folders kept open beyond those in use.
    std::size_t spareFolders() const { return m_spareFolders; }
    // Groups overlap: one is written while others are flushed or settled.
    bool overlapsGroups() const { return m_overlaps; }
    // Besides those, one more flushed group may wait to be put in place.
    bool fitsAGroupAhead() const { return m_groupAhead; }

private:
    int m_groupFiles = 1;
    std::size_t m_spareFolders = 1;
    bool m_overlaps = true;
    bool m_groupAhead = false;
};

} // namespace vaultine
