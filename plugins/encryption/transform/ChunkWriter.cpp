#include "ChunkWriter.h"

#include "filesystem/Replacement.h"

namespace vaultine {

namespace filecrypt {

namespace {

// One being filled, one being written, one ready: the cipher never waits
// for a write that has its data already.
constexpr int kInFlight = 3;
// Room beside the chunk for a header before it and padding after it.
constexpr qint64 kBufferSize = ChunkWriter::kChunkSize + 64;

} // namespace

ChunkWriter::~ChunkWriter()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
        m_queue.clear();
    }
    m_changed.notify_all();
    m_thread.join();
}

void ChunkWriter::begin(Mode mode)
{
    abandon();
    std::lock_guard<std::mutex> guard(m_lock);
    m_mode = mode;
    m_failed = false;
    if (mode == Mode::Here) {
        if (!m_here)
            m_here.reset(new char[kBufferSize]);
        return;
    }
    if (m_owned.empty()) {
        for (int i = 0; i < kInFlight; ++i)
            m_owned.emplace_back(new char[kBufferSize]);
    }
    m_free.clear();
    for (const auto &owned : m_owned)
        m_free.push_back(owned.get());
}

void ChunkWriter::start(Replacement &output)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_output = &output;
    if (m_mode == Mode::OnItsThread && !m_thread.isRunning())
        m_thread = NamedThread("keystrel-chunks", [this] { writeAll(); });
}

char *ChunkWriter::buffer()
{
    if (m_mode == Mode::Here)
        return m_here.get();
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
    if (m_mode == Mode::Here)
        return m_output && m_output->write(data, length);
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_failed || !m_output)
        return false;
    m_queue.push_back({data, length});
    m_changed.notify_all();
    return true;
}

bool ChunkWriter::finish()
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (m_mode == Mode::OnItsThread)
        m_changed.wait(guard, [&] { return (m_queue.empty() && !m_busy) || m_failed; });
    const bool written = m_output && !m_failed;
    m_changed.wait(guard, [&] { return !m_busy; });
    m_queue.clear();
    m_output = nullptr;
    return written;
}

void ChunkWriter::abandon()
{
    std::unique_lock<std::mutex> guard(m_lock);
    m_queue.clear();
    m_changed.wait(guard, [&] { return !m_busy; });
    m_output = nullptr;
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
        Replacement *output = m_output;
        guard.unlock();
        const bool written = output->write(piece.data, piece.length);
        guard.lock();
        m_busy = false;
        m_free.push_back(piece.data);
        if (!written) {
            // The rest of this file is not written; the next file starts
            // afresh.
            m_failed = true;
            m_queue.clear();
        }
        m_changed.notify_all();
    }
}

} // namespace filecrypt

} // namespace vaultine
