// The steps of the end-to-end scenarios, run inside the Keystrel process.
#pragma once

class QString;

namespace e2esteps {

void run(const QString &workDir, const QString &scenario);

} // namespace e2esteps
