#include "FolderAdvice.h"

#include <QCoreApplication>

QString untrustedFolderAdvice()
{
    return QCoreApplication::translate("MainWindow",
                                       "请让这个目录及其上级目录只有您自己或 root 可以修改（例如 chmod go-w），"
                                       "或者从软件包安装 Keystrel。");
}
