// A rewrite killed at an exact moment, as a user's kill or a power cut would
// end it, for tst_winfaults to judge what it left:
//   rewrite_probe while-writing FILE   killed while the new content is
//                                      written (its handle still open)
//   rewrite_probe at-replace FILE      killed as the new file is about to
//                                      take the name (ReplaceFileW called)
// Exits 9 from the kill; 2 when it never got there.
#include "filesystem/Folder.h"
#include "filesystem/Replacement.h"
#include "filesystem/SystemCalls_win.h"
#include "transform/FileCrypt.h"

#include <QFileInfo>
#include <QString>

#include <windows.h>

using namespace vaultine;

namespace {

constexpr UINT kKilled = 9;

BOOL WINAPI killedAtReplace(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID)
{
    ::TerminateProcess(::GetCurrentProcess(), kKilled);
    return FALSE;
}

int killWhileWriting(const QString &path)
{
    const QFileInfo info(path);
    Folder folder;
    FileState state;
    if (folder.open(info.absolutePath()) != Folder::Opened::Ok
        || folder.lookUp(info.fileName(), &state) != Folder::Entry::Present)
        return 2;
    Replacement replacement(folder, info.fileName(), &state);
    if (replacement.open() != Replacement::Opened::Ok || !replacement.write("partial", 7))
        return 2;
    ::TerminateProcess(::GetCurrentProcess(), kKilled);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (mode == QLatin1String("while-writing"))
        return killWhileWriting(path);
    if (mode == QLatin1String("at-replace")) {
        wincalls::seam().replaceFile = killedAtReplace;
        filecrypt::encryptFile(path, path, true, [](const QString &) {});
    }
    return 2;
}
