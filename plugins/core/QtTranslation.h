// Qt's own texts in Chinese, as the window's own are: the file dialog where
// the desktop has none of its own, the text areas' context menu, standard
// buttons. Qt's translation knows only Qt's classes, none of ours ("Form",
// the core's windows): every text of the program itself stays as written.
#pragma once

#include <QString>
#include <QStringList>

namespace qttranslation {

// The catalogue of Qt's base module, for the window's language.
constexpr const char kCatalogue[] = "qtbase_zh_CN";

// Where the catalogue is looked for, in order: a "translations" folder
// beside the program (a Qt shipped with it, as on Windows), then the
// translations of the Qt the program runs on.
QStringList folders();

// Installs the catalogue from the first folder that has it on the running
// application, for as long as the application lives. Returns the file
// loaded, or an empty string when no folder has it (Qt's texts then stay
// English).
QString install();

} // namespace qttranslation
