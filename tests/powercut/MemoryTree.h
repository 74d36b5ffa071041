// The recording file system's files and folders, in memory: what a program
// sees at every moment (nothing here is ever lost), each change written to
// the operation log as it is made. What a power cut would have kept is
// worked out afterwards from the log, by tests/powercut/crash_states.py.
#pragma once

#include "OperationLog.h"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <sys/stat.h>

struct Node
{
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    nlink_t links = 0;
    int opened = 0;
    std::string bytes;                            // a file's
    std::map<std::string, std::uint64_t> entries; // a folder's
    std::uint64_t parent = 0;                     // a folder's
    timespec changed{};
    timespec modified{};

    bool isFolder() const { return S_ISDIR(mode); }
};

class MemoryTree
{
public:
    static constexpr std::uint64_t kRoot = 1;
    // Where the program's standard error is sent: its lines are recorded
    // between the changes they follow.
    static constexpr const char *kConsoleName = "console.log";
    // A write to it stands for a syncfs() of the whole file system, which
    // FUSE does not pass on (FlushShim.cpp sends it here).
    static constexpr const char *kSyncfsName = "syncfs.ctl";

    MemoryTree(OperationLog &log, std::uint64_t capacity);

    // The folder's files and folders, as they were before the run: durable.
    bool seed(const std::string &folder);

    Node *node(std::uint64_t ino);
    void describe(std::uint64_t ino, struct stat *info);
    int lookUp(std::uint64_t parent, const std::string &name, std::uint64_t *ino);

    int create(std::uint64_t parent, const std::string &name, mode_t mode, std::uint64_t *ino);
    int link(std::uint64_t ino, std::uint64_t parent, const std::string &name);
    int unlink(std::uint64_t parent, const std::string &name);
    int removeFolder(std::uint64_t parent, const std::string &name);
    int rename(std::uint64_t parent, const std::string &name, std::uint64_t newParent, const std::string &newName,
               unsigned flags);

    int write(std::uint64_t ino, std::uint64_t offset, const char *bytes, std::size_t length);
    int truncate(std::uint64_t ino, std::uint64_t size);
    void noteAttribute(std::uint64_t ino, const char *what);
    // The `count`th flush of a file or of the file system (from 1) fails
    // with EIO and makes nothing durable; 0: none does.
    void failFlush(std::uint64_t count) { m_failingFlush = count; }
    int flush(std::uint64_t ino, bool dataOnly);
    void flushFolder(std::uint64_t ino, bool dataOnly);

    void opened(std::uint64_t ino);
    void closed(std::uint64_t ino);

    std::uint64_t capacity() const { return m_capacity; }
    std::uint64_t used() const { return m_used; }

private:
    std::uint64_t add(mode_t mode, std::uint64_t parent);
    void dropLink(std::uint64_t ino);
    void releaseIfGone(std::uint64_t ino);
    bool seedFolder(const std::string &path, std::uint64_t folder);
    bool flushFails(std::uint64_t ino);
    void record(const std::string &text) { m_log.line(text); }

    OperationLog &m_log;
    std::deque<Node> m_nodes; // by inode number; 0 is not one
    std::uint64_t m_console = 0;
    std::uint64_t m_syncfs = 0;
    std::uint64_t m_flushes = 0;
    std::uint64_t m_failingFlush = 0;
    std::uint64_t m_capacity;
    std::uint64_t m_used = 0;
};
