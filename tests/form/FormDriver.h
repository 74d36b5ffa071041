// Drives a Form as a user would: drags and drops of URLs, the modal file
// dialog answered from a timer, and files on disk.
#pragma once

#include "FileDialogAnswer.h"
#include "FileTestUtils.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace formdriver {

// The file helpers every file test has (FileTestUtils.h).
using filetest::header;
using filetest::read;
using filetest::write;

inline QList<QUrl> localUrls(const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    return urls;
}

// True when `target` (or a parent it climbs to) accepted the drag.
inline bool dragEnter(QWidget *target, const QMimeData &mime)
{
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    return enter.isAccepted();
}

// A whole drag and drop; false when the drag was refused (then no drop).
inline bool drop(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    if (!dragEnter(target, mime))
        return false;
    QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropEvent);
    return true;
}

using testdialogs::FileDialogAnswer;

} // namespace formdriver
