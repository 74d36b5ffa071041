// Puts the new content of a group of replacements on disk at once, before
// any of them is committed: where the system can, with one flush of each
// file system instead of one per file.
#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

namespace vaultine {

class Replacement;

// `failed` is called, with the reason, for each replacement whose content may
// not be on disk.
void flushTogether(const std::vector<Replacement *> &group,
                   const std::function<void(std::size_t index, const QString &reason)> &failed);

} // namespace vaultine
