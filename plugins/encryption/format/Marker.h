// The encryption marker: spaces pad plaintext to whole blocks, and the 17-byte
// header "has been encrypt\0" marks an encrypted file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vaultine {

namespace marker {

constexpr std::uint8_t kPaddingByte = 0x20;
constexpr std::size_t kHeaderSize = 17;
extern const std::uint8_t kFileHeader[kHeaderSize];

// Padding bytes appended to a plaintext of `length` bytes (0 to 15).
constexpr std::uint64_t paddingFor(std::uint64_t length)
{
    return (16 - length % 16) % 16;
}

constexpr std::uint64_t paddedLength(std::uint64_t length)
{
    return length + paddingFor(length);
}

// Bytes kept of `length` decrypted bytes: at most 15 trailing spaces go, and
// neither the byte at length - 16 nor anything before the data is examined.
std::size_t unpaddedLength(const std::uint8_t *data, std::size_t length);

// True when `data` holds at least 17 bytes that start with the file header.
bool startsWithHeader(const std::uint8_t *data, std::size_t length);

// True when decrypting the encryption of a plaintext of `length` bytes
// ending in `lastByte` would not give back the same bytes: trailing spaces of
// the plaintext itself are taken for padding, unless the padding alone already
// fills the 15 positions that the removal looks at.
bool losesTrailingSpaces(std::uint64_t length, std::uint8_t lastByte);

} // namespace marker

} // namespace vaultine
