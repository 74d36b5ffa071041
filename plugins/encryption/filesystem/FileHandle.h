// An open file or folder of the operating system, closed when its owner
// goes: a descriptor on Unix, a HANDLE on Windows, kept as an integer wide
// enough for either. Move-only, so that exactly one owner closes it.
#pragma once

#include <QtGlobal>

namespace vaultine {

class FileHandle
{
public:
    static constexpr qintptr kInvalid = -1;

    FileHandle() = default;
    explicit FileHandle(qintptr native)
        : m_native(native)
    {
    }
    FileHandle(FileHandle &&other) noexcept
        : m_native(other.release())
    {
    }
    FileHandle &operator=(FileHandle &&other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    ~FileHandle() { reset(); }

    bool isValid() const { return m_native != kInvalid; }
    qintptr native() const { return m_native; }

    // Gives the handle up without closing it.
    qintptr release()
    {
        const qintptr native = m_native;
        m_native = kInvalid;
        return native;
    }
    // Closes the handle held, if any, and holds `native` instead.
    void reset(qintptr native = kInvalid)
    {
        if (isValid())
            closeNative(m_native);
        m_native = native;
    }

private:
    static void closeNative(qintptr native);

    qintptr m_native = kInvalid;
};

} // namespace vaultine
