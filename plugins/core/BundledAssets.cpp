#include "BundledAssets.h"

#include <QFile>
#include <QFontDatabase>
#include <QIcon>
#include <QStringList>

namespace {

const char *const kFontFaces[] = {
    ":/fonts/roboto_thin",   ":/fonts/roboto_light", ":/fonts/roboto_regular",
    ":/fonts/roboto_medium", ":/fonts/roboto_bold",  ":/fonts/roboto_black",
};

const char kIconPath[] = ":/icons/icons/action/svg/production/ic_lock_24px.svg";

} // namespace

namespace bundledassets {

QStringList registerFonts()
{
    QStringList failed;
    for (const char *face : kFontFaces) {
        const QString path = QLatin1String(face);
        if (QFontDatabase::addApplicationFont(path) < 0)
            failed << path;
    }
    return failed;
}

QIcon applicationIcon()
{
    const QString path = QLatin1String(kIconPath);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

} // namespace bundledassets
