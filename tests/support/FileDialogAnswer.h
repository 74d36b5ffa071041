// Answers a modal file dialog from a timer, as a user would: types a path
// and accepts, or cancels.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <functional>

namespace testdialogs {

// Answers the next modal file dialog: types `path` and accepts, or cancels
// when `path` is empty. `inspect` sees the dialog first.
class FileDialogAnswer : public QObject
{
public:
    FileDialogAnswer(const QString &path, std::function<void(QFileDialog *)> inspect = {})
        : path(path)
        , inspect(std::move(inspect))
    {
        timer.setInterval(0);
        connect(&timer, &QTimer::timeout, this, &FileDialogAnswer::answer);
        timer.start();
    }

    bool answered = false;

private:
    void answer()
    {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer.stop();
        answered = true;
        if (inspect)
            inspect(dialog);
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->findChild<QLineEdit *>("fileNameEdit")->setText(path);
        QMetaObject::invokeMethod(dialog, "accept");
    }

    QString path;
    std::function<void(QFileDialog *)> inspect;
    QTimer timer;
};

} // namespace testdialogs
