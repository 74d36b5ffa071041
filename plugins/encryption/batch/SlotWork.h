// One file of a batch, prepared (opened from its folder, judged, written
// ahead as a replacement not yet in place) and committed (put in place over
// the file, which must still be as it was read). Both threads of a batch use
// it: prepare() on the one that writes ahead, and on the committing one for
// a file whose turn has come; commit() on the committing one alone.
#pragma once

#include "batch/BatchEngine.h"
#include "batch/FolderHandles.h"
#include "batch/Slot.h"
#include "filesystem/FileState.h"

#include <QHash>
#include <QPair>
#include <QString>

#include <mutex>

class SlotWork
{
public:
    SlotWork(const FolderListing &listing, Direction direction, bool cipherActive, const BatchEngine::Hooks &hooks,
             std::size_t spareFolders);
    SlotWork(const SlotWork &) = delete;
    SlotWork &operator=(const SlotWork &) = delete;
    ~SlotWork() = default;

    // `flushNow`: on the committing thread, which reports the progress of
    // the file and puts it on disk at once. `alone`: nothing else of the
    // batch is in flight, so a shortage of room or handles is the file's.
    Slot prepare(int index, bool flushNow, bool alone = false);
    void commit(Slot &slot);
    // Lets go of what a slot holds but its lines: the replacement (discarded
    // unless committed), the file read (closed late if it was replaced) and
    // its folder.
    void release(Slot &slot);

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
    void write(Slot &slot, std::unique_ptr<InputFile> input, bool flushNow);
    bool skip(Slot &slot, const QString &line);
    bool fail(Slot &slot, const QString &line);
    void judgeShortage(Slot &slot, bool alone);
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
