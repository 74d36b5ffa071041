// Why a file call failed when the failure may not be the file's own: the disk
// or quota was full, or the process held as many files open as it may. A
// batch tries such a file again once it holds less. Each object of the file
// system layer says so of its own last failure.
#pragma once

namespace vaultine {

enum class Shortage { None, Room, Handles };

} // namespace vaultine
