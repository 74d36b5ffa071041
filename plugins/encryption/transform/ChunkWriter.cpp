#include "ChunkWriter.h"

#include "filesystem/Replacement.h"

namespace filecrypt {

namespace {

// One being filled, one being written, one ready: the cipher never waits
// for a write that has its data already.
constexpr int kInFlight = 3;
// Room beside the chunk for a header before it and padding after it.
constexpr qint64 kBufferSize = ChunkWriter::kChunkSize + 64;

// The buffer of a thread that writes its own chunks is reused: a batch of
// thousands of small files allocates once.
char *threadBuffer()
{
    thread_local std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    return buffer.get();
}

} // namespace

ChunkWriter::ChunkWriter(bool overlapped)
{
    if (!overlapped)
        return;
    for (int i = 0; i < kInFlight; ++i) {
        m_owned.emplace_back(new char[kBufferSize]);
        m_free.push_back(m_owned.back().get());
    }
}

ChunkWriter::~ChunkWriter()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
        m_queue.clear();
    }
    m_changed.notify_all();
    m_thread.join();
}

void ChunkWriter::start(Replacement &output)
{
    m_output = &output;
    if (!m_owned.empty() && !m_thread.joinable())
        m_thread = std::thread([this] { writeAll(); });
}

char *ChunkWriter::buffer()
{
    if (m_owned.empty())
        return threadBuffer();
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait(guard, [&] { return !m_free.empty() || m_failed; });
    if (m_failed)
        return nullptr;
    char *data = m_free.back();
    m_free.pop_back();
    return data;
}

bool ChunkWriter::put(char *data, qint64 length)
{
    if (!m_thread.joinable())
        return m_output && m_output->write(data, length);
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_failed)
        return false;
    m_queue.push_back({data, length});
    m_changed.notify_all();
    return true;
}

bool ChunkWriter::finish()
{
    if (!m_thread.joinable())
        return m_output != nullptr;
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait(guard, [&] { return (m_queue.empty() && !m_busy) || m_failed; });
    return !m_failed;
}

void ChunkWriter::writeAll()
{
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_changed.wait(guard, [&] { return !m_queue.empty() || m_stopping; });
        if (m_stopping)
            return;
        const Piece piece = m_queue.front();
        m_queue.pop_front();
        m_busy = true;
        guard.unlock();
        const bool written = m_output->write(piece.data, piece.length);
        guard.lock();
        m_busy = false;
        m_free.push_back(piece.data);
        if (!written) {
            m_failed = true;
            m_queue.clear();
        }
        m_changed.notify_all();
        if (m_failed)
            return;
    }
}

} // namespace filecrypt
