// Ctrl-C as a request to stop: the first SIGINT sets a flag that the file
// operations take as their cancel flag, so the file in hand is finished or
// left whole; a second one ends the program at once.
#pragma once

#include <atomic>

namespace interrupt {

// Interrupted: a blocking read returns at once (EINTR), for reading standard
// input. Restarted: the calls in progress go on.
enum class BlockingCalls { Restarted, Interrupted };
void install(BlockingCalls calls);

const std::atomic<bool> *flag();
bool requested();

} // namespace interrupt
