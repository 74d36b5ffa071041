// The paths of a command, one after the other until Ctrl-C: a folder one
// way, anything else (a missing path among them) the other; then the exit
// status of it all.
#pragma once

#include "ExitStatus.h"
#include "Interrupt.h"

#include <QFileInfo>
#include <QStringList>

template <typename Folder, typename Other>
int forEachPath(const QStringList &paths, Folder folder, Other other, const bool &failed)
{
    for (const QString &path : paths) {
        if (interrupt::requested())
            break;
        if (QFileInfo(path).isDir())
            folder(path);
        else
            other(path);
    }
    if (interrupt::requested())
        return exitstatus::kInterrupted;
    return failed ? exitstatus::kFailed : exitstatus::kDone;
}
