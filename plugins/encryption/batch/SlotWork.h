// One file of a batch, prepared (opened from its folder, judged, written as
// a replacement not yet in place) and committed (put in place over the file,
// which must still be as it was read). Every stage uses it: the write stage
// prepares files ahead, the committing stage prepares a file whose turn has
// come and commits, the flush stage and the committing one release.
#pragma once

#include "batch/BatchEngine.h"
#include "batch/FolderHandles.h"
#include "batch/Slot.h"
#include "filesystem/FileState.h"
#include "transform/ChunkWriter.h"

#include <QHash>
#include <QPair>
#include <QString>

#include <mutex>

namespace vaultine {

class SlotWork
{
public:
    SlotWork(const FolderListing &listing, Direction direction, bool cipherActive, const BatchEngine::Hooks &hooks,
             std::size_t spareFolders);
    SlotWork(const SlotWork &) = delete;
    SlotWork &operator=(const SlotWork &) = delete;
    ~SlotWork() = default;

    enum class Turn {
        Ahead, // written ahead, flushed with its group
        Now,   // written in its turn: its progress reported, flushed at once
    };
    // Alone: nothing else of the batch is in flight, so a shortage of room
    // or handles is the file's own.
    enum class InFlight { Others, Alone };

    // Written through `chunks`, the preparing stage's own.
    Slot prepare(int index, Turn turn, InFlight inFlight, filecrypt::ChunkWriter &chunks);
    // A slot prepared ahead or not at all (deferred, to be tried again) is
    // prepared in its turn first, through `chunks`.
    void commit(Slot &slot, filecrypt::ChunkWriter &chunks);
    // Lets go of what a slot holds but its lines: the replacement (discarded
    // unless committed), the file read (closed late if it was replaced) and
    // its folder.
    void release(Slot &slot);
    void releaseAll(Group &group);

    bool cancelled() const { return m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed); }
    Direction direction() const { return m_direction; }
    const FolderListing &listing() const { return m_listing; }
    FolderHandles &folders() { return m_folders; }

private:
    using Place = QPair<int, QString>; // folder index and name

    // False, the slot skipped and released, when the file is no longer the
    // one the walk found, or already as the batch makes files.
    bool reach(Slot &slot, InputFile &input);
    bool judge(Slot &slot, InputFile &input);
    void write(Slot &slot, std::unique_ptr<InputFile> input, Turn turn, filecrypt::ChunkWriter &chunks);
    bool skip(Slot &slot, const QString &line);
    bool fail(Slot &slot, const QString &line);
    void judgeShortage(Slot &slot, InFlight inFlight);
    // Commits a written replacement; false when the file changed since.
    bool tryCommit(Slot &slot, const Place &place);

    bool isRewritten(const Place &place, const FileIdentity &identity);
    void setRewritten(const Place &place, const FileIdentity *identity);

    const FolderListing &m_listing;
    const Direction m_direction;
    const bool m_cipherActive;
    const BatchEngine::Hooks &m_hooks;
    FolderHandles m_folders;
    // Files this batch replaced, by where they are: a file listed twice (a
    // link inside the folder) is then still recognised.
    std::mutex m_rewrittenLock;
    QHash<Place, FileIdentity> m_rewritten;
};

} // namespace vaultine
