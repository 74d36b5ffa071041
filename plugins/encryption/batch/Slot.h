// One file of a batch on its way: from written ahead to settled.
#pragma once

#include "filesystem/InputFile.h"
#include "filesystem/Replacement.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace vaultine {

class Folder;

enum class SlotState {
    Ready,    // written ahead, waiting to be flushed and committed
    Deferred, // written by the committing stage when its turn comes (large,
              // or changed while written ahead)
    Retry,    // short of room or handles while others were in flight: tried
              // again alone once they are settled
    Done,
    Skipped,
    Failed,
    Cancelled,
};

struct Slot
{
    int index = 0;
    SlotState state = SlotState::Failed;
    bool inState = false;               // skipped as already in the batch's direction
    Shortage shortage = Shortage::None; // why it failed, when not its own fault
    QStringList lines;
    std::unique_ptr<Replacement> replacement;
    // The file read, open until its replacement is in place: see LateClose.
    std::unique_ptr<InputFile> input;
    const Folder *folder = nullptr; // pinned while the slot holds it
    int folderIndex = -1;
};

using Group = std::vector<Slot>;

} // namespace vaultine
