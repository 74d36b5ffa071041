// Unix side: Leftover_unix.cpp
//
// What an interrupted rewrite left in a folder: a file under a temporary name
// (TemporaryName.h) that holds all or part of a new content. It is redundant
// when its original is still whole, and may then be removed; otherwise it
// may be the only copy of the content and has to stay.
#pragma once

#include <QString>

class Folder;

// True only where the system can show that removing `name`, a file in
// `folder` under a temporary name, loses nothing: its rewrite never touched
// the file it was to replace. False for any other name, and whenever that
// cannot be shown.
bool leftoverIsRedundant(const Folder &folder, const QString &name);
