// Ctrl-C as a request to stop: the first SIGINT sets a flag that the file
// operations take as their cancel flag, so the file in hand is finished or
// left whole; a second one ends the program at once.
#pragma once

#include <atomic>

namespace interrupt {

// `restartCalls` false makes a blocking read return at once (EINTR), for
// reading standard input.
void install(bool restartCalls);

const std::atomic<bool> *flag();
bool requested();

} // namespace interrupt
