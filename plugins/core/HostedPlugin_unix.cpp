#include "HostedPlugin.h"

#include "FileTrust_unix.h"
#include "LibraryFileCheck_unix.h"
#include "SystemError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Why the file at `target` must not be handed to the loader; empty when it
// may. Judged through one descriptor, so both looks see the same file.
QString whyNotLoadable(const QString &target)
{
    // O_NONBLOCK: opening a pipe must not wait for a writer.
    const int fd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return QStringLiteral("无法打开：") + systemErrorText(errno);
    QString why;
    struct stat info;
    if (::fstat(fd, &info) != 0)
        why = QStringLiteral("无法读取：") + systemErrorText(errno);
    else
        why = filetrust::whyUntrusted(info, ::geteuid());
    if (why.isEmpty() && !libraryfilecheck::looksLoadable(fd))
        why = QStringLiteral("不是可加载的库文件");
    ::close(fd);
    return why;
}

} // namespace

bool HostedPlugin::loadChecked(const QString &target, QString *whyNot)
{
    *whyNot = whyNotLoadable(target);
    if (!whyNot->isEmpty())
        return false;
    // Every symbol bound now: a missing one refuses the plug-in here instead
    // of ending the program at its first call.
    m_handle = ::dlopen(QFile::encodeName(target).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char *error = ::dlerror();
        *whyNot = QStringLiteral("无法加载：") + QString::fromLocal8Bit(error ? error : "");
        return false;
    }
    link_map *object = nullptr;
    if (::dlinfo(m_handle, RTLD_DI_LINKMAP, &object) == 0)
        m_object = object;
    return true;
}

void *HostedPlugin::ownSymbol(const char *symbol) const
{
    // dlsym also searches the libraries the plug-in depends on, Hubstone
    // among them, which exports entry points of the same names: a plug-in
    // without its own would have its calls land in Hubstone's.
    void *address = ::dlsym(m_handle, symbol);
    Dl_info info;
    link_map *owner = nullptr;
    if (!address || !m_object || ::dladdr1(address, &info, reinterpret_cast<void **>(&owner), RTLD_DL_LINKMAP) == 0
        || owner != m_object)
        return nullptr;
    return address;
}

void HostedPlugin::unload()
{
    ::dlclose(m_handle);
    m_handle = nullptr;
}
