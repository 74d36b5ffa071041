// The steps of the end-to-end scenarios, run inside the Keystrel process.
#pragma once

class QString;

namespace E2eSteps {

void run(const QString &workDir, const QString &scenario);

} // namespace E2eSteps
