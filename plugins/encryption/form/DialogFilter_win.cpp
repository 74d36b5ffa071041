#include "DialogFilter.h"

// The filter Windows users know; here it matches every file.
QString allFilesFilter()
{
    return QStringLiteral("all files (*.*)");
}
