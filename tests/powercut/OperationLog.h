// The record of a run on the recording file system: one line per change, in
// the order the file system carried them out, and the bytes written beside
// it in a file of their own. tests/powercut/crash_states.py reads it back.
//
// Each line is a word and its fields, separated by blanks; names are
// written in hexadecimal, so that no name can break a line:
//   seed-folder PARENT NAME INO     seed-file PARENT NAME INO SIZE
//   create PARENT NAME INO          mkdir PARENT NAME INO
//   link INO PARENT NAME            unlink PARENT NAME      rmdir PARENT NAME
//   rename PARENT NAME NEWPARENT NEWNAME FLAGS
//   write INO OFFSET LENGTH AT      truncate INO SIZE       (AT: where the bytes are)
//   attr INO WHAT                   fsync INO DATASYNC      fsyncdir INO DATASYNC
//   syncfs                          (all files and folders made durable)
//   console AT LENGTH               refused WHAT INO ERRNO  (WHAT: write, truncate, flush)
// seed-console names the files at the root that are no part of the run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class OperationLog
{
public:
    OperationLog() = default;
    OperationLog(const OperationLog &) = delete;
    OperationLog &operator=(const OperationLog &) = delete;
    ~OperationLog();

    bool open(const std::string &logPath, const std::string &dataPath);

    // A line of words and numbers; a name goes through hex() first.
    void line(const std::string &text);
    // Keeps the bytes and says where they are in the data file.
    std::uint64_t keep(const char *bytes, std::size_t length);

    static std::string hex(const std::string &name);

private:
    std::FILE *m_log = nullptr;
    std::FILE *m_data = nullptr;
    std::uint64_t m_dataSize = 0;
};
