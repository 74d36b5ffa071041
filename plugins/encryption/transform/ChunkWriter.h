// Chunks of a file's new content on their way to its replacement. For a file
// of several chunks a thread writes them, so that reading and the cipher go
// on while the last chunk goes to the page cache and the disk; a small file
// is written where it is made, as handing it over would cost more than it
// saves. One writer serves the files of whoever owns it, one after the
// other (a stage of a batch, a single file), with its buffers and its
// thread, which lives as long as the writer.
#pragma once

#include "filesystem/NamedThread.h"

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace vaultine {

class Replacement;

namespace filecrypt {

class ChunkWriter
{
public:
    // Whole blocks, large enough that the cipher dominates, small enough to
    // stay a bounded footprint for files of any size.
    static constexpr qint64 kChunkSize = qint64(4) << 20;

    enum class Mode {
        Here,        // put() writes at once, on the caller's thread
        OnItsThread, // put() hands over, a few chunks in flight
    };

    ChunkWriter() = default;
    ChunkWriter(const ChunkWriter &) = delete;
    ChunkWriter &operator=(const ChunkWriter &) = delete;
    ~ChunkWriter(); // stops without writing what is still queued

    // A new file, before any buffer() for it.
    void begin(Mode mode);
    // Where its content goes: written only through put() from here on, until
    // finish() or abandon().
    void start(Replacement &output);
    // A buffer of kChunkSize plus 64 bytes to fill; waits for one to come
    // free. Null once a write failed.
    char *buffer();
    // Hands a filled buffer from buffer() to be written. False once a write
    // failed: the replacement's errorString() tells why.
    bool put(char *data, qint64 length);
    // Waits until everything put is written; false when any write failed.
    // The file ends there.
    bool finish();
    // Drops what is still queued and waits for the write in hand: the
    // replacement is no longer used. The file ends there.
    void abandon();

private:
    struct Piece
    {
        char *data;
        qint64 length;
    };
    void writeAll();

    Mode m_mode = Mode::Here;
    Replacement *m_output = nullptr;
    std::unique_ptr<char[]> m_here;               // the buffer of a file written here
    std::vector<std::unique_ptr<char[]>> m_owned; // those in flight, on the thread
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<char *> m_free;
    std::deque<Piece> m_queue;
    bool m_busy = false; // the thread holds a piece
    bool m_failed = false;
    bool m_stopping = false;
    NamedThread m_thread;
};

} // namespace filecrypt

} // namespace vaultine
