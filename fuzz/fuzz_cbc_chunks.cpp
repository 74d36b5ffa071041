// A CBC message fed in pieces, as files are streamed, gives the same bytes as
// one pass over it, and decrypting in other pieces gives the plaintext back.
// The first input bytes choose the piece sizes, the rest is the message.
#include "FuzzLog.h"
#include "Reference.h"

#include <vector>

using namespace vaultine;

namespace {

// Piece sizes in whole blocks (1 to 16 blocks), taken from `choices` in turn.
std::vector<std::size_t> pieces(const std::uint8_t *choices, std::size_t count, std::size_t length)
{
    std::vector<std::size_t> sizes;
    std::size_t at = 0;
    for (std::size_t i = 0; at < length; ++i) {
        const std::size_t blocks = count == 0 ? 1 : (choices[i % count] & 0x0f) + 1;
        const std::size_t piece = std::min(blocks * 16, length - at);
        sizes.push_back(piece);
        at += piece;
    }
    return sizes;
}

QByteArray inPieces(QByteArray data, const std::vector<std::size_t> &sizes, bool encrypt)
{
    CbcStream stream(true);
    auto *at = reinterpret_cast<std::uint8_t *>(data.data());
    for (const std::size_t piece : sizes) {
        if (encrypt)
            stream.encrypt(at, piece);
        else
            stream.decrypt(at, piece);
        at += piece;
    }
    return data;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t choiceCount = std::min<std::size_t>(data[0] & 0x07, size - 1);
    const std::uint8_t *choices = data + 1;
    const QByteArray message = reference::padded(
        QByteArray(reinterpret_cast<const char *>(choices + choiceCount), int(size - 1 - choiceCount)));

    const QByteArray whole = reference::encrypted(message);
    FUZZ_CHECK(whole.size() == message.size());
    FUZZ_CHECK(message.isEmpty() || whole != message);
    FUZZ_CHECK(inPieces(message, pieces(choices, choiceCount, std::size_t(message.size())), true) == whole);
    // Decrypt in pieces chosen from the other end of the choices.
    std::vector<std::size_t> other = pieces(choices, choiceCount, std::size_t(message.size()));
    std::vector<std::size_t> reversed(other.rbegin(), other.rend());
    FUZZ_CHECK(inPieces(whole, reversed, false) == message);
    FUZZ_CHECK(reference::decrypted(whole) == message);
    return 0;
}
