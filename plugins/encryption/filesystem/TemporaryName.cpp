#include "TemporaryName.h"

#include <QRandomGenerator>

namespace vaultine {

namespace temporaryname {
namespace {

const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

bool isLetter(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
}

} // namespace

QString fresh()
{
    QString name = kPrefix;
    for (int i = 0; i < kRandomLength; ++i)
        name += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))]);
    return name;
}

bool isTemporary(const QString &name)
{
    if (name.size() != kPrefix.size() + kRandomLength || !name.startsWith(kPrefix))
        return false;
    for (int i = kPrefix.size(); i < name.size(); ++i) {
        if (!isLetter(name.at(i)))
            return false;
    }
    return true;
}

} // namespace temporaryname

} // namespace vaultine
