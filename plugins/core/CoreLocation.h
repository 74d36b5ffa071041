// Where this library lives: the plug-in folder.
#pragma once

class QString;

namespace corelocation {

// Absolute path of the loaded Hubstone library file.
QString libraryPath();

// The folder that holds it; the other plug-ins are looked for there.
QString pluginFolder();

} // namespace corelocation
