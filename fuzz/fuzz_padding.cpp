// Padding, padding removal and the header test on arbitrary bytes. The
// input is handed over at its exact size in its own allocation, so any read
// past either end trips AddressSanitizer.
#include "FuzzLog.h"
#include "Reference.h"
#include "format/Marker.h"

#include <cstring>
#include <memory>

using namespace vaultine;

namespace {

void checkUnpadded(const std::uint8_t *data, std::size_t length)
{
    const std::size_t kept = marker::unpaddedLength(data, length);
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(length));
    FUZZ_CHECK(kept == std::size_t(reference::unpadded(bytes).size()));
    FUZZ_CHECK(kept <= length);
    FUZZ_CHECK(length - kept <= 15);
    for (std::size_t i = kept; i < length; ++i)
        FUZZ_CHECK(data[i] == marker::kPaddingByte);
    // Removal stops at a byte that is not a space, or after 15, or at the start.
    FUZZ_CHECK(kept == 0 || length - kept == 15 || data[kept - 1] != marker::kPaddingByte);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Every tail and prefix of the input, each in an allocation of its own size.
    for (std::size_t cut = 0; cut <= size && cut <= 40; ++cut) {
        const std::size_t length = size - cut;
        std::unique_ptr<std::uint8_t[]> prefix(new std::uint8_t[length]);
        if (length > 0)
            std::memcpy(prefix.get(), data, length);
        checkUnpadded(prefix.get(), length);
        checkUnpadded(data + cut, length);
    }

    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    FUZZ_CHECK(marker::startsWithHeader(data, size) == reference::isMarked(bytes));

    const std::uint64_t padding = marker::paddingFor(size);
    FUZZ_CHECK(padding <= 15);
    FUZZ_CHECK(marker::paddedLength(size) == std::uint64_t(reference::padded(bytes).size()));
    FUZZ_CHECK(marker::paddedLength(size) % 16 == 0);

    // The warning on encryption is given exactly when decryption loses bytes.
    if (size > 0) {
        const bool loses = reference::unpadded(reference::padded(bytes)) != bytes;
        FUZZ_CHECK(marker::losesTrailingSpaces(size, data[size - 1]) == loses);
    }
    return 0;
}
