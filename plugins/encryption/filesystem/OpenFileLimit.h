// How many files the process may hold open at once.
#pragma once

namespace vaultine {

// Raises the limit toward `wanted` where it is lower and the system allows
// more, and returns the limit then in force.
long raiseOpenFileLimit(long wanted);
// How many handles of the process are open now, of at most `limit`.
long openHandleCount(long limit);

} // namespace vaultine
