#include "E2eUi.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QtTest/QTest>

namespace e2eui {

QMainWindow *mainWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("KeystrelMainWindow"))
            return qobject_cast<QMainWindow *>(widget);
    }
    return nullptr;
}

QStringList logLines(QMainWindow *window)
{
    QWidget *pane = window->findChild<QWidget *>(QStringLiteral("logPane"));
    auto *view = window->findChild<QPlainTextEdit *>(QStringLiteral("logView"));
    if (!pane || !view)
        return {};
    QMetaObject::invokeMethod(pane, "flush"); // lines reach the view in batches
    static const QRegularExpression stamped(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  (.*)$"));
    QStringList lines;
    for (const QString &line : view->toPlainText().split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = stamped.match(line);
        lines << (match.hasMatch() ? match.captured(1) : QStringLiteral("<no time stamp> ") + line);
    }
    return lines;
}

void typeText(QWidget *widget, const QString &text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &release);
    }
}

void click(QWidget *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

bool dropUrls(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return true;
}

} // namespace e2eui
