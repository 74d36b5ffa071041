#include "DialogFilter.h"

// "*.*" matches only names with a dot here: every file without one would
// hide behind it.
QString allFilesFilter()
{
    return QStringLiteral("all files (*)");
}
