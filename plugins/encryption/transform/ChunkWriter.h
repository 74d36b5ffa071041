// Chunks of a file's new content on their way to its replacement. For a file
// of several chunks a thread of its own writes them, so that reading and the
// cipher go on while the last chunk goes to the page cache and the disk; a
// small file is written where it is made, as a thread would cost more than
// it saves.
#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class Replacement;

namespace filecrypt {

class ChunkWriter
{
public:
    // Whole blocks, large enough that the cipher dominates, small enough to
    // stay a bounded footprint for files of any size.
    static constexpr qint64 kChunkSize = qint64(4) << 20;

    // `overlapped`: a thread writes, with a few chunks in flight.
    explicit ChunkWriter(bool overlapped);
    ChunkWriter(const ChunkWriter &) = delete;
    ChunkWriter &operator=(const ChunkWriter &) = delete;
    ~ChunkWriter(); // stops without writing what is still queued

    // Where the output goes from now on; written only through put() from
    // here on, until finish() or destruction.
    void start(Replacement &output);
    // A buffer of kChunkSize plus 64 bytes to fill; waits for one to come
    // free. Null once a write failed.
    char *buffer();
    // Hands a filled buffer from buffer() to be written. False once a write
    // failed: the replacement's errorString() tells why.
    bool put(char *data, qint64 length);
    // Waits until everything put is written; false when any write failed.
    bool finish();

private:
    struct Piece
    {
        char *data;
        qint64 length;
    };
    void writeAll();

    Replacement *m_output = nullptr;
    std::vector<std::unique_ptr<char[]>> m_owned;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<char *> m_free;
    std::deque<Piece> m_queue;
    bool m_busy = false; // the thread holds a piece
    bool m_failed = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace filecrypt
