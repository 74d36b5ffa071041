#include "MemoryTree.h"

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace {

timespec now()
{
    timespec time{};
    clock_gettime(CLOCK_REALTIME, &time);
    return time;
}

std::string numbers(std::initializer_list<std::uint64_t> values)
{
    std::string text;
    for (const std::uint64_t value : values)
        text += ' ' + std::to_string(value);
    return text;
}

std::string hex(const std::string &name)
{
    return ' ' + OperationLog::hex(name);
}

} // namespace

MemoryTree::MemoryTree(OperationLog &log, std::uint64_t capacity)
    : m_log(log)
    , m_capacity(capacity)
{
    m_nodes.emplace_back(); // no inode 0
    add(S_IFDIR | 0755, kRoot);
}

std::uint64_t MemoryTree::add(mode_t mode, std::uint64_t parent)
{
    Node created;
    created.mode = mode;
    created.owner = getuid();
    created.group = getgid();
    created.links = S_ISDIR(mode) ? 2 : 1;
    created.parent = parent;
    created.changed = created.modified = now();
    m_nodes.push_back(created);
    return m_nodes.size() - 1;
}

Node *MemoryTree::node(std::uint64_t ino)
{
    return ino > 0 && ino < m_nodes.size() ? &m_nodes[ino] : nullptr;
}

bool MemoryTree::seed(const std::string &folder)
{
    if (!seedFolder(folder, kRoot))
        return false;
    m_console = add(S_IFREG | 0644, kRoot);
    m_nodes[kRoot].entries[kConsoleName] = m_console;
    record("seed-console" + numbers({kRoot}) + hex(kConsoleName) + numbers({m_console}));
    m_syncfs = add(S_IFREG | 0644, kRoot);
    m_nodes[kRoot].entries[kSyncfsName] = m_syncfs;
    record("seed-console" + numbers({kRoot}) + hex(kSyncfsName) + numbers({m_syncfs}));
    return true;
}

bool MemoryTree::seedFolder(const std::string &path, std::uint64_t folder)
{
    DIR *listing = opendir(path.c_str());
    if (!listing)
        return false;
    bool ok = true;
    while (const dirent *entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string full = path + '/' + name;
        struct stat info;
        if (lstat(full.c_str(), &info) != 0 || !(S_ISDIR(info.st_mode) || S_ISREG(info.st_mode))) {
            ok = false;
            break;
        }
        const std::uint64_t ino = add(info.st_mode, folder);
        m_nodes[folder].entries[name] = ino;
        if (S_ISDIR(info.st_mode)) {
            ++m_nodes[folder].links;
            record("seed-folder" + numbers({folder}) + hex(name) + numbers({ino}));
            ok = seedFolder(full, ino);
        } else {
            std::ifstream in(full, std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            m_nodes[ino].bytes = bytes.str();
            m_used += m_nodes[ino].bytes.size();
            record("seed-file" + numbers({folder}) + hex(name) + numbers({ino, m_nodes[ino].bytes.size()}));
        }
        if (!ok)
            break;
    }
    closedir(listing);
    return ok;
}

void MemoryTree::describe(std::uint64_t ino, struct stat *info)
{
    const Node &n = m_nodes[ino];
    *info = {};
    info->st_ino = ino;
    info->st_mode = n.mode;
    info->st_nlink = n.links;
    info->st_uid = n.owner;
    info->st_gid = n.group;
    info->st_size = off_t(n.isFolder() ? 4096 : n.bytes.size());
    info->st_blksize = 4096;
    info->st_blocks = (info->st_size + 511) / 512;
    info->st_mtim = n.modified;
    info->st_ctim = n.changed;
    info->st_atim = n.modified;
}

int MemoryTree::lookUp(std::uint64_t parent, const std::string &name, std::uint64_t *ino)
{
    Node *folder = node(parent);
    if (!folder || !folder->isFolder())
        return ENOTDIR;
    const auto found = folder->entries.find(name);
    if (found == folder->entries.end())
        return ENOENT;
    *ino = found->second;
    return 0;
}

int MemoryTree::create(std::uint64_t parent, const std::string &name, mode_t mode, std::uint64_t *ino)
{
    std::uint64_t existing = 0;
    const int looked = lookUp(parent, name, &existing);
    if (looked != ENOENT)
        return looked == 0 ? EEXIST : looked;
    *ino = add(mode, parent);
    m_nodes[parent].entries[name] = *ino;
    m_nodes[parent].changed = m_nodes[parent].modified = now();
    if (S_ISDIR(mode)) {
        ++m_nodes[parent].links;
        record("mkdir" + numbers({parent}) + hex(name) + numbers({*ino}));
    } else {
        m_nodes[*ino].opened = 1;
        record("create" + numbers({parent}) + hex(name) + numbers({*ino}));
    }
    return 0;
}

int MemoryTree::link(std::uint64_t ino, std::uint64_t parent, const std::string &name)
{
    std::uint64_t existing = 0;
    const int looked = lookUp(parent, name, &existing);
    if (looked != ENOENT)
        return looked == 0 ? EEXIST : looked;
    Node *target = node(ino);
    if (!target || target->isFolder())
        return EPERM;
    m_nodes[parent].entries[name] = ino;
    ++target->links;
    target->changed = now();
    record("link" + numbers({ino, parent}) + hex(name));
    return 0;
}

void MemoryTree::dropLink(std::uint64_t ino)
{
    Node &n = m_nodes[ino];
    n.links = n.isFolder() ? 0 : n.links - 1;
    n.changed = now();
    releaseIfGone(ino);
}

void MemoryTree::releaseIfGone(std::uint64_t ino)
{
    Node &n = m_nodes[ino];
    if (n.links == 0 && n.opened == 0 && !n.isFolder()) {
        m_used -= n.bytes.size();
        std::string().swap(n.bytes);
    }
}

int MemoryTree::unlink(std::uint64_t parent, const std::string &name)
{
    std::uint64_t ino = 0;
    if (const int looked = lookUp(parent, name, &ino))
        return looked;
    if (m_nodes[ino].isFolder())
        return EISDIR;
    m_nodes[parent].entries.erase(name);
    m_nodes[parent].changed = m_nodes[parent].modified = now();
    record("unlink" + numbers({parent}) + hex(name));
    dropLink(ino);
    return 0;
}

int MemoryTree::removeFolder(std::uint64_t parent, const std::string &name)
{
    std::uint64_t ino = 0;
    if (const int looked = lookUp(parent, name, &ino))
        return looked;
    if (!m_nodes[ino].isFolder())
        return ENOTDIR;
    if (!m_nodes[ino].entries.empty())
        return ENOTEMPTY;
    m_nodes[parent].entries.erase(name);
    --m_nodes[parent].links;
    m_nodes[parent].changed = m_nodes[parent].modified = now();
    record("rmdir" + numbers({parent}) + hex(name));
    dropLink(ino);
    return 0;
}

int MemoryTree::rename(std::uint64_t parent, const std::string &name, std::uint64_t newParent,
                       const std::string &newName, unsigned flags)
{
    if (flags & ~unsigned(RENAME_NOREPLACE))
        return EINVAL; // no exchange, no whiteout
    std::uint64_t ino = 0;
    if (const int looked = lookUp(parent, name, &ino))
        return looked;
    if (!node(newParent) || !m_nodes[newParent].isFolder())
        return ENOTDIR;
    std::uint64_t replaced = 0;
    const int there = lookUp(newParent, newName, &replaced);
    if (there == 0 && (flags & RENAME_NOREPLACE))
        return EEXIST;
    if (there == 0 && replaced == ino)
        return 0;
    if (there == 0 && (m_nodes[replaced].isFolder() || m_nodes[ino].isFolder()))
        return EISDIR; // folders are not replaced here
    m_nodes[parent].entries.erase(name);
    m_nodes[newParent].entries[newName] = ino;
    m_nodes[parent].changed = m_nodes[parent].modified = now();
    m_nodes[newParent].changed = m_nodes[newParent].modified = now();
    m_nodes[ino].changed = now();
    if (m_nodes[ino].isFolder() && parent != newParent) {
        --m_nodes[parent].links;
        ++m_nodes[newParent].links;
        m_nodes[ino].parent = newParent;
    }
    record("rename" + numbers({parent}) + hex(name) + numbers({newParent}) + hex(newName) + numbers({flags}));
    if (there == 0)
        dropLink(replaced);
    return 0;
}

int MemoryTree::write(std::uint64_t ino, std::uint64_t offset, const char *bytes, std::size_t length)
{
    if (ino == m_syncfs) {
        if (flushFails(ino))
            return EIO;
        record("syncfs");
        return 0;
    }
    Node &n = m_nodes[ino];
    const std::uint64_t end = offset + length;
    if (ino != m_console && end > n.bytes.size() && m_used + (end - n.bytes.size()) > m_capacity) {
        record("refused write" + numbers({ino, ENOSPC}));
        return ENOSPC;
    }
    if (end > n.bytes.size()) {
        m_used += end - n.bytes.size();
        n.bytes.resize(end, '\0');
    }
    n.bytes.replace(offset, length, bytes, length);
    n.modified = n.changed = now();
    const std::uint64_t at = m_log.keep(bytes, length);
    if (ino == m_console)
        record("console" + numbers({at, length}));
    else
        record("write" + numbers({ino, offset, length, at}));
    return 0;
}

int MemoryTree::truncate(std::uint64_t ino, std::uint64_t size)
{
    Node &n = m_nodes[ino];
    if (size > n.bytes.size() && m_used + (size - n.bytes.size()) > m_capacity) {
        record("refused truncate" + numbers({ino, ENOSPC}));
        return ENOSPC;
    }
    m_used = m_used - n.bytes.size() + size;
    n.bytes.resize(size, '\0');
    n.modified = n.changed = now();
    if (ino != m_console && ino != m_syncfs)
        record("truncate" + numbers({ino, size}));
    return 0;
}

void MemoryTree::noteAttribute(std::uint64_t ino, const char *what)
{
    m_nodes[ino].changed = now();
    record(std::string("attr") + numbers({ino}) + ' ' + what);
}

bool MemoryTree::flushFails(std::uint64_t ino)
{
    if (++m_flushes != m_failingFlush)
        return false;
    record("refused flush" + numbers({ino, EIO}));
    return true;
}

int MemoryTree::flush(std::uint64_t ino, bool dataOnly)
{
    if (flushFails(ino))
        return EIO;
    record("fsync" + numbers({ino, dataOnly ? 1U : 0U}));
    return 0;
}

void MemoryTree::flushFolder(std::uint64_t ino, bool dataOnly)
{
    record("fsyncdir" + numbers({ino, dataOnly ? 1U : 0U}));
}

void MemoryTree::opened(std::uint64_t ino)
{
    ++m_nodes[ino].opened;
}

void MemoryTree::closed(std::uint64_t ino)
{
    --m_nodes[ino].opened;
    releaseIfGone(ino);
}
