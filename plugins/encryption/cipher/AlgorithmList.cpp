#include "AlgorithmList.h"

namespace vaultine {

const std::vector<QString> algorithmList = {QStringLiteral("AES")};

bool isAesAlgorithm(const QString &name)
{
    return name == QLatin1String("AES");
}

} // namespace vaultine
