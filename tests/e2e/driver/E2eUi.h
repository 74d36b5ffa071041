// What a person does with the window, done with events in the process.
#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

class QMainWindow;
class QWidget;

namespace e2eui {

QMainWindow *mainWindow();

// The log pane's lines without their time stamps; "<no time stamp> ..." for
// a line that lacks one.
QStringList logLines(QMainWindow *window);

// Key presses carrying each character, as an input method would deliver
// them; works for text beyond Latin-1.
void typeText(QWidget *widget, const QString &text);

void click(QWidget *button);

// Drags the URLs over `target` and drops them. False if the drag was refused.
bool dropUrls(QWidget *target, const QList<QUrl> &urls);

} // namespace e2eui
