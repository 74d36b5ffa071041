// Drives a Form as a user would: drags and drops of URLs, the modal file
// dialog answered from a timer, and files on disk.
#pragma once

#include "FileDialogAnswer.h"
#include "TestFiles.h"

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

inline QByteArray header()
{
    return QByteArray("has been encrypt", 16) + '\0';
}

inline bool write(const QString &path, const QByteArray &data)
{
    return testfiles::writeAll(path, data);
}

inline QByteArray read(const QString &path)
{
    return testfiles::readAll(path);
}

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
