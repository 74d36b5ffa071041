// The application-wide look every plug-in inherits.
#pragma once

#include <QString>

class QApplication;

namespace lookandfeel {

// Must run before the application object exists. Also lets fractional
// screen scale factors through.
void setApplicationAttributes();

// The push-button style sheet set on the whole application.
QString styleSheet();

// Fusion style, the Roboto application font and the given style sheet.
void apply(QApplication &app, const QString &styleSheet);

} // namespace lookandfeel
