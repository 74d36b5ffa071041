#include "StderrMirror.h"

#include "UserText.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace stderrmirror {

bool isOn()
{
    static const bool on = qgetenv("KEYSTREL_LOG_TO_STDERR") == "1";
    return on;
}

bool isWindowOnly(const QString &line)
{
    return usertext::carriesUserText(line);
}

void write(const QString &line, const QString &stamped)
{
    if (!isOn() || isWindowOnly(line))
        return;
    // One write per line keeps lines whole when stderr is shared.
    const QByteArray bytes = stamped.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace stderrmirror
