// A disk whose blocks in one range stop taking writes: a FUSE file system
// holding one file, "disk", backed by a real file, whose writes within
// [FROM_MIB, TO_MIB) fail with EIO once the file ARM exists. A loop device
// on it gives a real file system the write-back errors of a failing disk.
// Built and used by scripts/check-filesystems.sh:
//   error-zone BACKING FROM_MIB TO_MIB ARM MOUNTPOINT
#define FUSE_USE_VERSION 31
#include <fuse3/fuse.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int backing = -1;
off_t size = 0;
off_t failFrom = 0;
off_t failTo = 0;
const char *arm = nullptr;

int attributes(const char *path, struct stat *info, fuse_file_info *)
{
    std::memset(info, 0, sizeof *info);
    if (std::strcmp(path, "/") == 0) {
        info->st_mode = S_IFDIR | 0755;
        info->st_nlink = 2;
        return 0;
    }
    if (std::strcmp(path, "/disk") != 0)
        return -ENOENT;
    info->st_mode = S_IFREG | 0644;
    info->st_nlink = 1;
    info->st_size = size;
    return 0;
}

int openDisk(const char *path, fuse_file_info *file)
{
    file->direct_io = 1; // every write reaches us, none is cached above
    return std::strcmp(path, "/disk") == 0 ? 0 : -ENOENT;
}

int readDisk(const char *, char *data, size_t length, off_t offset, fuse_file_info *)
{
    const ssize_t got = ::pread(backing, data, length, offset);
    return got < 0 ? -errno : int(got);
}

int writeDisk(const char *, const char *data, size_t length, off_t offset, fuse_file_info *)
{
    if (::access(arm, F_OK) == 0 && offset < failTo && offset + off_t(length) > failFrom)
        return -EIO;
    const ssize_t put = ::pwrite(backing, data, length, offset);
    return put < 0 ? -errno : int(put);
}

int flushDisk(const char *, int, fuse_file_info *)
{
    return ::fsync(backing) == 0 ? 0 : -errno;
}

int keepSize(const char *, off_t, fuse_file_info *)
{
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 6)
        return 2;
    backing = ::open(argv[1], O_RDWR);
    struct stat info;
    if (backing < 0 || ::fstat(backing, &info) != 0)
        return 1;
    size = info.st_size;
    failFrom = off_t(std::atoll(argv[2])) << 20;
    failTo = off_t(std::atoll(argv[3])) << 20;
    arm = argv[4];
    fuse_operations operations{};
    operations.getattr = attributes;
    operations.open = openDisk;
    operations.read = readDisk;
    operations.write = writeDisk;
    operations.fsync = flushDisk;
    operations.truncate = keepSize;
    char foreground[] = "-f";
    char *arguments[] = {argv[0], argv[5], foreground, nullptr};
    return fuse_main(3, arguments, &operations, nullptr);
}
