#include "FolderAdvice.h"

#include <QCoreApplication>
#include <QDir>

QString untrustedFolderAdvice()
{
    // A folder made directly under a drive's root inherits the root's
    // "Authenticated Users may change" entry: the portable zip unpacked
    // there is refused. The user's own profile and the installer's folders
    // grant no such right.
    const QString ownPrograms = qEnvironmentVariable("LOCALAPPDATA");
    return QCoreApplication::translate(
               "MainWindow",
               "直接建在驱动器根目录（例如 C:\\）下的文件夹，所有已登录的用户都可以修改。请把 Keystrel "
               "的整个文件夹移到只属于您的位置，例如 %LOCALAPPDATA%\\Programs%1，或者用安装程序安装 Keystrel。")
        .arg(ownPrograms.isEmpty() ? QString()
                                   : QCoreApplication::translate("MainWindow", "（%1）")
                                         .arg(QDir::toNativeSeparators(ownPrograms + "/Programs")));
}
