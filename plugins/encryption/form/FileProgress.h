// The progress of one file that takes long: a window-modal dialog with the
// bytes done and a cancel button, shown only once the work has lasted half
// a second, so that small files flash nothing.
#pragma once

#include "format/Direction.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class QProgressDialog;
class QWidget;

class FileProgress : public QObject
{
    Q_OBJECT

public:
    static constexpr int kShowAfterMs = 500;

    FileProgress(QWidget *parent, vaultine::Direction direction, const QString &path, std::function<void()> cancel);
    ~FileProgress() override;
    Q_DISABLE_COPY(FileProgress)

    void update(qint64 done, qint64 total);

private:
    void show();
    QString label() const;

    QPointer<QWidget> m_parent;
    vaultine::Direction m_direction;
    QString m_name;
    std::function<void()> m_cancel;
    QTimer m_delay;
    QPointer<QProgressDialog> m_dialog;
    qint64 m_done = 0;
    qint64 m_total = 0;
};
