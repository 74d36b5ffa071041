// The algorithms the form offers, by name.
#pragma once

#include <QString>

#include <vector>

namespace vaultine {

extern const std::vector<QString> algorithmList;

// The one algorithm: AES-128-CBC under the fixed key. The name must match
// exactly; anything else leaves data untouched.
bool isAesAlgorithm(const QString &name);

} // namespace vaultine
