// Runs one file operation of the form on a path, in place, the way a drop
// does, so that tests can kill it or disturb it from outside the test
// process. Log lines go to stdout, then "result: <n>".
//
//   crypt_tool encrypt|decrypt|toggle|drop <path>
//
// "drop" drops the path on the form as a user would: a file is toggled, a
// folder runs a batch.
#include "../../form/FormDriver.h"
#include "FsHooks.h"
#include "PluginApi.h"
#include "form/Form.h"

#include <QApplication>

#include <cstdio>

using namespace vaultine;

bool ShowLogFunc(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
    return true;
}

// No desktop to tell here.
bool ShowNoticeFunc(const QString &, qint64)
{
    return false;
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: crypt_tool encrypt|decrypt|toggle|drop <path>\n");
        return 2;
    }
    const QString operation = args.at(1);
    const QString path = args.at(2);

    Form form;
    if (operation == QLatin1String("drop")) {
        fshooks::arm(path);
        const bool accepted = formdriver::drop(&form, formdriver::localUrls({path}));
        std::printf("result: %d\n", accepted ? 0 : -1);
        return accepted ? 0 : 1;
    }
    bool encrypt = operation == QLatin1String("encrypt");
    if (operation == QLatin1String("toggle"))
        encrypt = !form.isFileEncrypted(path);
    else if (!encrypt && operation != QLatin1String("decrypt"))
        return 2;

    fshooks::arm(path);
    const int result = encrypt ? form.encryptFile(path, path) : form.decryptFile(path, path);
    std::printf("result: %d\n", result);
    return result == 0 ? 0 : 1;
}
