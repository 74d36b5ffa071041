#include "FuzzLog.h"

#include "PluginApi.h"

namespace {
QStringList &store()
{
    static QStringList lines;
    return lines;
}
} // namespace

bool ShowLogFunc(const QString &line)
{
    store().append(line);
    return true;
}

namespace fuzzlog {
QStringList take()
{
    QStringList taken;
    taken.swap(store());
    return taken;
}
} // namespace fuzzlog
