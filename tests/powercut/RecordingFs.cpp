// recording-fs: a FUSE file system, in memory, that records every change a
// program makes on it, and every flush, in the order it carried them out.
// One thread answers every request, so the record is one sequence: a
// request answered before a program's call returned comes before anything
// the program did after it, its lines on standard error among them (sent
// to console.log at the root; no write-back cache, so each write() arrives
// at once).
//
//   recording-fs MOUNTPOINT --seed FOLDER --log FILE --data FILE [--capacity BYTES] [--fail-flush N]
//
// The seed folder's files and folders are there from the start, durable;
// --capacity makes writes past that many bytes of files fail with ENOSPC;
// --fail-flush makes the Nth flush of a file (or syncfs) fail with EIO.
// "ready" on standard output says the mount is there; an unmount ends it.
#define FUSE_USE_VERSION 34

#include "MemoryTree.h"

#include <fuse3/fuse_lowlevel.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace {

MemoryTree &treeOf(fuse_req_t req)
{
    return *static_cast<MemoryTree *>(fuse_req_userdata(req));
}

// Nothing is cached by the kernel for long: every look-up reaches the tree.
constexpr double kCacheSeconds = 0.0;

void replyEntry(fuse_req_t req, std::uint64_t ino)
{
    fuse_entry_param entry{};
    entry.ino = ino;
    entry.generation = 1;
    treeOf(req).describe(ino, &entry.attr);
    entry.attr_timeout = kCacheSeconds;
    entry.entry_timeout = kCacheSeconds;
    fuse_reply_entry(req, &entry);
}

void replyAttributes(fuse_req_t req, std::uint64_t ino)
{
    struct stat info;
    treeOf(req).describe(ino, &info);
    fuse_reply_attr(req, &info, kCacheSeconds);
}

void init(void *, fuse_conn_info *conn)
{
    // Writes go to the file system as the program makes them, never later
    // from the kernel's cache: the record keeps the program's order.
    conn->want &= ~unsigned(FUSE_CAP_WRITEBACK_CACHE);
    // Large writes arrive in pieces of 128 KiB, each a moment a cut can
    // follow.
    conn->max_write = 128 * 1024;
}

void lookUp(fuse_req_t req, fuse_ino_t parent, const char *name)
{
    std::uint64_t ino = 0;
    if (const int error = treeOf(req).lookUp(parent, name, &ino)) {
        fuse_reply_err(req, error);
        return;
    }
    replyEntry(req, ino);
}

void getAttributes(fuse_req_t req, fuse_ino_t ino, fuse_file_info *)
{
    if (!treeOf(req).node(ino)) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    replyAttributes(req, ino);
}

void setAttributes(fuse_req_t req, fuse_ino_t ino, struct stat *attr, int toSet, fuse_file_info *)
{
    MemoryTree &tree = treeOf(req);
    Node *n = tree.node(ino);
    if (!n) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    if (toSet & FUSE_SET_ATTR_SIZE) {
        if (const int error = tree.truncate(ino, std::uint64_t(attr->st_size))) {
            fuse_reply_err(req, error);
            return;
        }
    }
    if (toSet & FUSE_SET_ATTR_MODE) {
        n->mode = (n->mode & S_IFMT) | (attr->st_mode & 07777);
        tree.noteAttribute(ino, "mode");
    }
    if (toSet & (FUSE_SET_ATTR_UID | FUSE_SET_ATTR_GID)) {
        if (toSet & FUSE_SET_ATTR_UID)
            n->owner = attr->st_uid;
        if (toSet & FUSE_SET_ATTR_GID)
            n->group = attr->st_gid;
        tree.noteAttribute(ino, "owner");
    }
    if (toSet & (FUSE_SET_ATTR_MTIME | FUSE_SET_ATTR_MTIME_NOW)) {
        if (toSet & FUSE_SET_ATTR_MTIME)
            n->modified = attr->st_mtim;
        else
            clock_gettime(CLOCK_REALTIME, &n->modified);
        tree.noteAttribute(ino, "times");
    }
    replyAttributes(req, ino);
}

void makeFolder(fuse_req_t req, fuse_ino_t parent, const char *name, mode_t mode)
{
    std::uint64_t ino = 0;
    if (const int error = treeOf(req).create(parent, name, S_IFDIR | (mode & 07777), &ino)) {
        fuse_reply_err(req, error);
        return;
    }
    replyEntry(req, ino);
}

void create(fuse_req_t req, fuse_ino_t parent, const char *name, mode_t mode, fuse_file_info *fi)
{
    if (!S_ISREG(mode)) {
        fuse_reply_err(req, EPERM);
        return;
    }
    std::uint64_t ino = 0;
    if (const int error = treeOf(req).create(parent, name, mode, &ino)) {
        fuse_reply_err(req, error);
        return;
    }
    fuse_entry_param entry{};
    entry.ino = ino;
    entry.generation = 1;
    treeOf(req).describe(ino, &entry.attr);
    fuse_reply_create(req, &entry, fi);
}

void unlink(fuse_req_t req, fuse_ino_t parent, const char *name)
{
    fuse_reply_err(req, treeOf(req).unlink(parent, name));
}

void removeFolder(fuse_req_t req, fuse_ino_t parent, const char *name)
{
    fuse_reply_err(req, treeOf(req).removeFolder(parent, name));
}

void rename(fuse_req_t req, fuse_ino_t parent, const char *name, fuse_ino_t newParent, const char *newName,
            unsigned flags)
{
    fuse_reply_err(req, treeOf(req).rename(parent, name, newParent, newName, flags));
}

void link(fuse_req_t req, fuse_ino_t ino, fuse_ino_t newParent, const char *newName)
{
    if (const int error = treeOf(req).link(ino, newParent, newName)) {
        fuse_reply_err(req, error);
        return;
    }
    replyEntry(req, ino);
}

void open(fuse_req_t req, fuse_ino_t ino, fuse_file_info *fi)
{
    Node *n = treeOf(req).node(ino);
    if (!n) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    treeOf(req).opened(ino);
    fuse_reply_open(req, fi);
}

void read(fuse_req_t req, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info *)
{
    const std::string &bytes = treeOf(req).node(ino)->bytes;
    const std::size_t from = std::min(bytes.size(), std::size_t(offset));
    fuse_reply_buf(req, bytes.data() + from, std::min(size, bytes.size() - from));
}

void write(fuse_req_t req, fuse_ino_t ino, const char *bytes, size_t size, off_t offset, fuse_file_info *)
{
    if (const int error = treeOf(req).write(ino, std::uint64_t(offset), bytes, size)) {
        fuse_reply_err(req, error);
        return;
    }
    fuse_reply_write(req, size);
}

void flushOnClose(fuse_req_t req, fuse_ino_t, fuse_file_info *)
{
    fuse_reply_err(req, 0); // a close makes nothing durable
}

void release(fuse_req_t req, fuse_ino_t ino, fuse_file_info *)
{
    treeOf(req).closed(ino);
    fuse_reply_err(req, 0);
}

void fsync(fuse_req_t req, fuse_ino_t ino, int dataOnly, fuse_file_info *)
{
    fuse_reply_err(req, treeOf(req).flush(ino, dataOnly != 0));
}

// A folder's names as they were when it was opened, kept with the handle.
using Listing = std::vector<std::pair<std::string, std::uint64_t>>;

void openFolder(fuse_req_t req, fuse_ino_t ino, fuse_file_info *fi)
{
    Node *n = treeOf(req).node(ino);
    if (!n || !n->isFolder()) {
        fuse_reply_err(req, ENOTDIR);
        return;
    }
    auto *listing = new Listing{{".", ino}, {"..", n->parent}};
    for (const auto &entry : n->entries)
        listing->emplace_back(entry.first, entry.second);
    fi->fh = reinterpret_cast<std::uintptr_t>(listing);
    fuse_reply_open(req, fi);
}

void readFolder(fuse_req_t req, fuse_ino_t, size_t size, off_t offset, fuse_file_info *fi)
{
    const auto &listing = *reinterpret_cast<const Listing *>(fi->fh);
    std::vector<char> buffer(size);
    std::size_t used = 0;
    for (std::size_t i = std::size_t(offset); i < listing.size(); ++i) {
        struct stat info
        { };
        info.st_ino = listing[i].second;
        info.st_mode = treeOf(req).node(listing[i].second)->mode;
        const std::size_t needed =
            fuse_add_direntry(req, buffer.data() + used, size - used, listing[i].first.c_str(), &info, off_t(i + 1));
        if (needed > size - used)
            break;
        used += needed;
    }
    fuse_reply_buf(req, buffer.data(), used);
}

void releaseFolder(fuse_req_t req, fuse_ino_t, fuse_file_info *fi)
{
    delete reinterpret_cast<Listing *>(fi->fh);
    fuse_reply_err(req, 0);
}

void fsyncFolder(fuse_req_t req, fuse_ino_t ino, int dataOnly, fuse_file_info *)
{
    treeOf(req).flushFolder(ino, dataOnly != 0);
    fuse_reply_err(req, 0);
}

void statFileSystem(fuse_req_t req, fuse_ino_t)
{
    const MemoryTree &tree = treeOf(req);
    struct statvfs info
    { };
    info.f_bsize = info.f_frsize = 4096;
    info.f_blocks = tree.capacity() / 4096;
    info.f_bfree = info.f_bavail = (tree.capacity() - std::min(tree.used(), tree.capacity())) / 4096;
    info.f_files = info.f_ffree = info.f_favail = 1 << 20;
    info.f_namemax = 255;
    fuse_reply_statfs(req, &info);
}

// No extended attributes: there are none to keep, and none can be set.
void listAttributes(fuse_req_t req, fuse_ino_t, size_t)
{
    fuse_reply_xattr(req, 0);
}

void getAttribute(fuse_req_t req, fuse_ino_t, const char *, size_t)
{
    fuse_reply_err(req, ENODATA);
}

void setAttribute(fuse_req_t req, fuse_ino_t, const char *, const char *, size_t, int)
{
    fuse_reply_err(req, ENOTSUP);
}

fuse_lowlevel_ops operations()
{
    fuse_lowlevel_ops ops{};
    ops.init = init;
    ops.lookup = lookUp;
    ops.getattr = getAttributes;
    ops.setattr = setAttributes;
    ops.mkdir = makeFolder;
    ops.create = create;
    ops.unlink = unlink;
    ops.rmdir = removeFolder;
    ops.rename = rename;
    ops.link = link;
    ops.open = open;
    ops.read = read;
    ops.write = write;
    ops.flush = flushOnClose;
    ops.release = release;
    ops.fsync = fsync;
    ops.opendir = openFolder;
    ops.readdir = readFolder;
    ops.releasedir = releaseFolder;
    ops.fsyncdir = fsyncFolder;
    ops.statfs = statFileSystem;
    ops.listxattr = listAttributes;
    ops.getxattr = getAttribute;
    ops.setxattr = setAttribute;
    return ops;
}

struct Options
{
    std::string mountPoint, seed, log, data;
    std::uint64_t capacity = std::uint64_t(1) << 40;
    std::uint64_t failingFlush = 0;
};

bool parse(int argc, char **argv, Options *options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--seed" && hasValue)
            options->seed = argv[++i];
        else if (arg == "--log" && hasValue)
            options->log = argv[++i];
        else if (arg == "--data" && hasValue)
            options->data = argv[++i];
        else if (arg == "--capacity" && hasValue)
            options->capacity = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--fail-flush" && hasValue)
            options->failingFlush = std::strtoull(argv[++i], nullptr, 10);
        else if (options->mountPoint.empty() && arg[0] != '-')
            options->mountPoint = arg;
        else
            return false;
    }
    return !options->mountPoint.empty() && !options->seed.empty() && !options->log.empty() && !options->data.empty();
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: %s MOUNTPOINT --seed FOLDER --log FILE --data FILE [--capacity BYTES] [--fail-flush N]\n",
                     argv[0]);
        return 2;
    }
    OperationLog log;
    if (!log.open(options.log, options.data)) {
        std::perror("recording-fs: log");
        return 1;
    }
    MemoryTree tree(log, options.capacity);
    tree.failFlush(options.failingFlush);
    if (!tree.seed(options.seed)) {
        std::fprintf(stderr, "recording-fs: cannot copy %s (files and folders only)\n", options.seed.c_str());
        return 1;
    }
    char program[] = "recording-fs";
    char option[] = "-o";
    char mountOptions[] = "fsname=keystrel-powercut,subtype=recording,default_permissions";
    char *fuseArgv[] = {program, option, mountOptions, nullptr};
    fuse_args args = FUSE_ARGS_INIT(3, fuseArgv);
    const fuse_lowlevel_ops ops = operations();
    fuse_session *session = fuse_session_new(&args, &ops, sizeof ops, &tree);
    if (!session || fuse_set_signal_handlers(session) != 0
        || fuse_session_mount(session, options.mountPoint.c_str()) != 0) {
        std::fprintf(stderr, "recording-fs: cannot mount on %s\n", options.mountPoint.c_str());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    const int status = fuse_session_loop(session);
    fuse_session_unmount(session);
    fuse_remove_signal_handlers(session);
    fuse_session_destroy(session);
    return status == 0 ? 0 : 1;
}
