#include "OperationLog.h"

OperationLog::~OperationLog()
{
    if (m_log)
        std::fclose(m_log);
    if (m_data)
        std::fclose(m_data);
}

bool OperationLog::open(const std::string &logPath, const std::string &dataPath)
{
    m_log = std::fopen(logPath.c_str(), "w");
    m_data = std::fopen(dataPath.c_str(), "wb");
    return m_log && m_data;
}

void OperationLog::line(const std::string &text)
{
    std::fputs(text.c_str(), m_log);
    std::fputc('\n', m_log);
}

std::uint64_t OperationLog::keep(const char *bytes, std::size_t length)
{
    const std::uint64_t at = m_dataSize;
    std::fwrite(bytes, 1, length, m_data);
    m_dataSize += length;
    return at;
}

std::string OperationLog::hex(const std::string &name)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char c : name) {
        text += kDigits[c >> 4];
        text += kDigits[c & 15];
    }
    return text.empty() ? std::string("-") : text;
}
