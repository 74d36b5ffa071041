#include "Marker.h"

#include <cstring>

namespace vaultine {

namespace marker {

const std::uint8_t kFileHeader[kHeaderSize] = {
    'h', 'a', 's', ' ', 'b', 'e', 'e', 'n', ' ', 'e', 'n', 'c', 'r', 'y', 'p', 't', 0x00,
};

std::size_t unpaddedLength(const std::uint8_t *data, std::size_t length)
{
    // Positions length-1 down to length-15, and never before the start.
    std::size_t removed = 0;
    while (removed < 15 && removed < length && data[length - 1 - removed] == kPaddingByte)
        ++removed;
    return length - removed;
}

bool startsWithHeader(const std::uint8_t *data, std::size_t length)
{
    return length >= kHeaderSize && std::memcmp(data, kFileHeader, kHeaderSize) == 0;
}

bool losesTrailingSpaces(std::uint64_t length, std::uint8_t lastByte)
{
    return length > 0 && lastByte == kPaddingByte && paddingFor(length) < 15;
}

} // namespace marker

} // namespace vaultine
