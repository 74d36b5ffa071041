#include "WorkNotice.h"

WorkNotice::WorkNotice(WindowActive windowActive, std::unique_ptr<NoticeSink> sink)
    : m_windowActive(std::move(windowActive))
    , m_sink(std::move(sink))
{
}

bool WorkNotice::workEnded(const QString &summary, qint64 elapsedMs)
{
    if (!m_sink || summary.isEmpty() || elapsedMs < kLongWorkMs)
        return false;
    if (m_windowActive && m_windowActive())
        return false;
    // The program's name as the title: the line itself is Chinese already.
    m_sink->show(QStringLiteral("Keystrel"), summary);
    return true;
}
