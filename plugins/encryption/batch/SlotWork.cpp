#include "SlotWork.h"

#include "filesystem/ProgramFiles.h"
#include "format/ActionLogLines.h"
#include "format/LogLines.h"
#include "format/Marker.h"
#include "format/NativePath.h"
#include "transform/FileTransform.h"

namespace vaultine {

using namespace actionlines;
using namespace filecrypt;
using loglines::withReason;

SlotWork::SlotWork(const FolderListing &listing, Direction direction, bool cipherActive,
                   const BatchEngine::Hooks &hooks, std::size_t spareFolders)
    : m_listing(listing)
    , m_direction(direction)
    , m_cipherActive(cipherActive)
    , m_hooks(hooks)
    , m_folders(listing, spareFolders)
{
}

void SlotWork::release(Slot &slot)
{
    slot.replacement.reset();
    if (slot.input && slot.state == SlotState::Done)
        slot.input->closeLater();
    slot.input.reset();
    if (slot.folderIndex >= 0)
        m_folders.unpin(slot.folderIndex);
    slot.folderIndex = -1;
    slot.folder = nullptr;
}

void SlotWork::releaseAll(Group &group)
{
    for (Slot &slot : group)
        release(slot); // what was not put in place stays as it was
}

bool SlotWork::skip(Slot &slot, const QString &line)
{
    slot.lines << line;
    slot.state = SlotState::Skipped;
    release(slot);
    return false;
}

bool SlotWork::isRewritten(const Place &place, const FileIdentity &identity)
{
    std::lock_guard<std::mutex> lock(m_rewrittenLock);
    const auto found = m_rewritten.constFind(place);
    return found != m_rewritten.constEnd() && found.value() == identity;
}

void SlotWork::setRewritten(const Place &place, const FileIdentity *identity)
{
    std::lock_guard<std::mutex> lock(m_rewrittenLock);
    if (identity)
        m_rewritten.insert(place, *identity);
    else
        m_rewritten.remove(place);
}

Slot SlotWork::prepare(int index, Turn turn, InFlight inFlight, filecrypt::ChunkWriter &chunks)
{
    Slot slot;
    slot.index = index;
    auto input = std::make_unique<InputFile>();
    if (reach(slot, *input) && judge(slot, *input))
        write(slot, std::move(input), turn, chunks);
    judgeShortage(slot, inFlight);
    return slot;
}

// Out of room or handles is a property of the batch, not of the file: while
// other files were in flight it is tried again; alone, a file that still
// cannot be done says why.
void SlotWork::judgeShortage(Slot &slot, InFlight inFlight)
{
    if (slot.state != SlotState::Failed && slot.state != SlotState::Skipped)
        return;
    if (slot.shortage == Shortage::None || inFlight == InFlight::Alone)
        return;
    release(slot);
    slot.lines.clear();
    slot.state = SlotState::Retry;
}

// A file the batch was to do and could not reach: it failed, and says why.
bool SlotWork::fail(Slot &slot, const QString &line)
{
    skip(slot, line);
    slot.state = SlotState::Failed;
    return false;
}

// Opens the file the walk recorded, through its folder.
bool SlotWork::reach(Slot &slot, InputFile &input)
{
    const QString &path = m_listing.paths.at(slot.index);
    const WalkedFile &file = m_listing.files[std::size_t(slot.index)];
    FolderHandles::Status status;
    slot.folder = m_folders.openPinned(file.folderIndex, &status);
    slot.folderIndex = slot.folder ? file.folderIndex : -1;
    if (!slot.folder) {
        switch (status) {
        case FolderHandles::Status::Swapped:
            return skip(slot, kSwappedAfterWalk + nativePath(path));
        case FolderHandles::Status::Missing:
            return skip(slot, kNotRegularFile + nativePath(path));
        case FolderHandles::Status::NoHandles:
            slot.shortage = Shortage::Handles;
            return fail(slot, kTooManyOpenFiles + nativePath(path));
        case FolderHandles::Status::Ok:
        case FolderHandles::Status::Unreadable:
            break;
        }
        return fail(slot, kUnreadableFile + nativePath(path));
    }
    const InputFile::Opened opened = input.openIn(*slot.folder, file.name);
    slot.shortage = input.shortage();
    switch (opened) {
    case InputFile::Opened::Ok:
        break;
    case InputFile::Opened::Missing:
    case InputFile::Opened::NotRegular:
        return skip(slot, kNotRegularFile + nativePath(path));
    case InputFile::Opened::Link:
        return skip(slot, kSwappedAfterWalk + nativePath(path));
    case InputFile::Opened::Unreadable:
        return fail(slot,
                    (slot.shortage == Shortage::Handles ? kTooManyOpenFiles : kUnreadableFile) + nativePath(path));
    case InputFile::Opened::InUse:
        // Left as it was against the user's wish, as when it cannot be read.
        return fail(slot, loglines::kInUse[m_direction] + nativePath(path));
    }
    const FileIdentity &found = input.state().identity;
    if (found.volume != file.identity.volume
        || (found != file.identity && !isRewritten(Place(file.folderIndex, file.name), found)))
        return skip(slot, kSwappedAfterWalk + nativePath(path));
    if (programfiles::isProgramFile(found))
        return fail(slot, loglines::kProgramFile[m_direction] + nativePath(path)); // refused: it counts as failed
    return true;
}

// Its header against the batch's direction.
bool SlotWork::judge(Slot &slot, InputFile &input)
{
    char header[marker::kHeaderSize];
    const qint64 headerLength = input.peekStart(header, qint64(sizeof header));
    const bool encrypted =
        headerLength > 0
        && marker::startsWithHeader(reinterpret_cast<const std::uint8_t *>(header), std::size_t(headerLength));
    slot.inState = encrypted == (m_direction == Direction::Encrypt);
    if (slot.inState)
        return skip(slot, alreadyInStateLine(m_direction, m_listing.paths.at(slot.index)));
    return true;
}

// Writes the replacement beside the file, in its folder.
void SlotWork::write(Slot &slot, std::unique_ptr<InputFile> input, Turn turn, filecrypt::ChunkWriter &chunks)
{
    const bool now = turn == Turn::Now;
    const QString &path = m_listing.paths.at(slot.index);
    const WalkedFile &file = m_listing.files[std::size_t(slot.index)];
    const Folder &folder = *slot.folder;
    // Progress only of a file in its turn, on the committing thread.
    const Control control{[&slot](const QString &line) { slot.lines << line; }, m_hooks.cancel,
                          now ? m_hooks.fileProgress : nullptr};
    FileTransform transform(m_direction, m_cipherActive, control, &chunks);
    const Outcome outcome = transform.write(*input, path, path, [&](Target &target) {
        target.folder = &folder;
        target.name = file.name;
        target.exists = true;
        target.state = input->state();
        // A file the user made read-only is refused, as a plain write would
        // refuse it, rather than replaced.
        return folder.allowsWriting(file.name);
    });
    if (outcome != Outcome::Done) {
        slot.shortage = transform.shortage();
        slot.state = outcome == Outcome::Cancelled ? SlotState::Cancelled : SlotState::Failed;
        release(slot);
        return;
    }
    slot.replacement = transform.takeReplacement();
    if (!transform.readWhole()) {
        // Changed while it was read: written ahead, it is read again when
        // its turn comes; in its turn, it is refused.
        release(slot);
        if (now) {
            slot.lines << loglines::kChangedMeanwhile[m_direction] + nativePath(path);
            slot.state = SlotState::Failed;
        } else {
            slot.lines.clear();
            slot.state = SlotState::Deferred;
        }
        return;
    }
    if (!slot.replacement->finish(now ? Replacement::Flush::Now : Replacement::Flush::WithOthers)) {
        slot.shortage = slot.replacement->shortage();
        slot.lines << withReason(loglines::kWriteFailed[m_direction], path, slot.replacement->errorString());
        slot.state = SlotState::Failed;
        release(slot);
        return;
    }
    if (!slot.replacement->attributesNotKept().isEmpty())
        slot.lines << withReason(loglines::kAttributesNotKept[m_direction], path,
                                 slot.replacement->attributesNotKept().join(QLatin1String(", ")));
    slot.input = std::move(input);
    slot.state = SlotState::Ready;
}

bool SlotWork::tryCommit(Slot &slot, const Place &place)
{
    // Known before the rename, so that the write stage never meets
    // the new file without knowing it for this batch's own.
    setRewritten(place, &slot.replacement->newIdentity());
    const Replacement::Committed committed = slot.replacement->commit();
    if (committed == Replacement::Committed::Done) {
        slot.replacement.reset();
        slot.state = SlotState::Done; // its folder stays pinned until flushed
        return true;
    }
    setRewritten(place, nullptr);
    if (committed == Replacement::Committed::Changed)
        return false;
    if (committed == Replacement::Committed::KeptAside)
        slot.lines << withReason(loglines::kKeptAside[m_direction], slot.replacement->keptAside(),
                                 slot.replacement->errorString());
    else
        slot.lines << withReason(loglines::kWriteFailed[m_direction], m_listing.paths.at(slot.index),
                                 slot.replacement->errorString());
    slot.state = SlotState::Failed;
    return true;
}

void SlotWork::commit(Slot &slot, filecrypt::ChunkWriter &chunks)
{
    const InFlight inFlight = slot.state == SlotState::Retry ? InFlight::Alone : InFlight::Others;
    if (slot.state == SlotState::Deferred || slot.state == SlotState::Retry)
        slot = prepare(slot.index, Turn::Now, inFlight, chunks);
    const WalkedFile &file = m_listing.files[std::size_t(slot.index)];
    const Place place(file.folderIndex, file.name);
    for (int attempt = 0; attempt < 2 && slot.state == SlotState::Ready; ++attempt) {
        if (tryCommit(slot, place))
            break;
        if (attempt == 1) {
            slot.lines << loglines::kChangedMeanwhile[m_direction] + nativePath(m_listing.paths.at(slot.index));
            slot.state = SlotState::Failed;
        } else {
            // Changed since it was written ahead: judged afresh now that its
            // turn has come, exactly as if it had not been read before.
            release(slot);
            slot = prepare(slot.index, Turn::Now, inFlight, chunks);
        }
    }
    if (slot.state != SlotState::Done)
        release(slot);
}

} // namespace vaultine
