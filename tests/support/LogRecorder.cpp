#include "LogRecorder.h"

#include "PluginApi.h"

namespace {
QStringList &store()
{
    static QStringList lines;
    return lines;
}
QStringList &notices()
{
    static QStringList summaries;
    return summaries;
}
} // namespace

bool ShowLogFunc(const QString &line)
{
    store().append(line);
    return true;
}

bool ShowNoticeFunc(const QString &summary, qint64)
{
    notices().append(summary);
    return false;
}

#ifdef Q_OS_WIN
// The plug-in's objects call ShowLogFunc as an import of Hubstone.dll; tests
// link those objects without it, so the import's pointer is given here.
extern bool (*const g_showLogImport)(const QString &) __asm__("__imp__Z11ShowLogFuncRK7QString");
bool (*const g_showLogImport)(const QString &) = &ShowLogFunc;
extern bool (*const g_showNoticeImport)(const QString &, qint64) __asm__("__imp__Z14ShowNoticeFuncRK7QStringx");
bool (*const g_showNoticeImport)(const QString &, qint64) = &ShowNoticeFunc;
#endif

namespace logrecorder {
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
QStringList takeNotices()
{
    QStringList taken;
    taken.swap(notices());
    return taken;
}
} // namespace logrecorder
