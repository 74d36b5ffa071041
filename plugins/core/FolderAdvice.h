// What to do about a plug-in folder that others may change, as the window
// says it: each system's own advice (FolderAdvice_unix.cpp,
// FolderAdvice_win.cpp), in the window's words.
#pragma once

#include <QString>

QString untrustedFolderAdvice();
