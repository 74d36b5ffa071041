// The command line's exit statuses.
#pragma once

namespace exitstatus {

constexpr int kDone = 0;          // everything done, or already as asked
constexpr int kFailed = 1;        // a file failed, a text could not be decrypted
constexpr int kUsage = 2;         // unknown command or option, no path
constexpr int kInterrupted = 130; // stopped by Ctrl-C (128 + SIGINT)

} // namespace exitstatus
