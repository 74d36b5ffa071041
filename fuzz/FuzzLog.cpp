#include "FuzzLog.h"

namespace {
QStringList &store()
{
    static QStringList lines;
    return lines;
}
} // namespace

namespace fuzzlog {
void record(const QString &line)
{
    store().append(line);
}

QStringList take()
{
    QStringList taken;
    taken.swap(store());
    return taken;
}
} // namespace fuzzlog
