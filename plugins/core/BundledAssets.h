// Fonts and the window icon from the launcher's resource bundle.
#pragma once

class QIcon;
class QStringList;

namespace bundledassets {

// Adds the six Roboto faces to the font database so the application font is
// Roboto also where the family is not installed. Returns the faces that
// could not be added.
QStringList registerFonts();

// The application icon; a null icon when the bundle is not there.
QIcon applicationIcon();

} // namespace bundledassets
