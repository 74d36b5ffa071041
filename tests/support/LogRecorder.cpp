#include "LogRecorder.h"

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

namespace LogRecorder {
QStringList lines()
{
    return store();
}
QStringList takeLines()
{
    QStringList taken;
    taken.swap(store());
    return taken;
}
void clear()
{
    store().clear();
}
} // namespace LogRecorder
