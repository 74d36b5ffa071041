// The file dialog's filter that lets every file through, as this system's
// users know it.
#pragma once

#include <QString>

QString allFilesFilter();
