// The AES instruction path against the portable engine: published vectors
// for each implementation, and identical bytes and chaining values over
// random keys, lengths, buffer offsets and chains cut into several calls.
#include "cipher/AesNi.h"
#include "cipher/CipherContext.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <vector>

using namespace vaultine;

namespace {

using CbcFunction = void (*)(CipherContext *, std::uint8_t *, std::uint32_t);

struct Engine
{
    const char *name;
    CbcFunction encrypt;
    CbcFunction decrypt;
    bool needsAesNi;
};

const Engine kPortable{"portable", aes_portable::cbcEncrypt, aes_portable::cbcDecrypt, false};
const Engine kPublic{"public", cbcEncrypt, cbcDecrypt, false};
#ifdef KEYSTREL_HAVE_AESNI
const Engine kAesNi{"aes-ni", aes_ni::cbcEncrypt, aes_ni::cbcDecrypt, true};
#endif

bool aesNiBuilt()
{
#ifdef KEYSTREL_HAVE_AESNI
    return true;
#else
    return false;
#endif
}

bool aesNiUsable()
{
#ifdef KEYSTREL_HAVE_AESNI
    return aes_ni::supported();
#else
    return false;
#endif
}

// The hardware engine, or a skip when this build or processor lacks it.
#define REQUIRE_AESNI()                                                                                                \
    do {                                                                                                               \
        if (!aesNiBuilt())                                                                                             \
            QSKIP("built with the portable engine only");                                                              \
        if (!aesNiUsable())                                                                                            \
            QSKIP("the processor has no AES instructions");                                                            \
    } while (false)

std::uint8_t *u8(QByteArray &b)
{
    return reinterpret_cast<std::uint8_t *>(b.data());
}
const std::uint8_t *u8(const QByteArray &b)
{
    return reinterpret_cast<const std::uint8_t *>(b.constData());
}

QByteArray ivOf(const CipherContext &ctx)
{
    return QByteArray(reinterpret_cast<const char *>(ctx.iv), 16);
}

CipherContext makeContext(const QByteArray &key, const QByteArray &iv)
{
    CipherContext ctx;
    initCipherContext(&ctx, u8(key), u8(iv));
    return ctx;
}

// SP 800-38A F.2.1 / F.2.2 (CBC-AES128).
const QByteArray kSpKey = QByteArray::fromHex("2b7e151628aed2a6abf7158809cf4f3c");
const QByteArray kSpIv = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
const QByteArray kSpPlain = QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172a"
                                                "ae2d8a571e03ac9c9eb76fac45af8e51"
                                                "30c81c46a35ce411e5fbc1191a0a52ef"
                                                "f69f2445df4f9b17ad2b417be66c3710");
const QByteArray kSpCipher = QByteArray::fromHex("7649abac8119b246cee98e9b12e9197d"
                                                 "5086cb9b507219ee95db113a917678b2"
                                                 "73bed6b8e3c1743b7116e69e22229516"
                                                 "3ff1caa1681fac09120eca307586e1a7");

#ifdef KEYSTREL_HAVE_AESNI
QByteArray randomBytes(QRandomGenerator &rng, int size)
{
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(rng.bounded(256));
    return bytes;
}

// One engine's run over a buffer cut into pieces, each piece a separate call
// on the same context. The buffer carries guard bytes past its last block.
struct ChainRun
{
    QByteArray buffer;
    QList<QByteArray> ivAfterEachCall;
};

ChainRun runChain(CbcFunction function, const QByteArray &key, const QByteArray &iv, QByteArray buffer, int offset,
                  const QVector<int> &pieces)
{
    CipherContext ctx = makeContext(key, iv);
    ChainRun run;
    int position = offset;
    for (int piece : pieces) {
        function(&ctx, u8(buffer) + position, std::uint32_t(piece));
        position += int(cbcBlockCount(std::uint32_t(piece)) * kAesBlockSize);
        run.ivAfterEachCall.append(ivOf(ctx));
    }
    run.buffer = buffer;
    return run;
}

#endif

} // namespace

class TestAesNi : public QObject
{
    Q_OBJECT

private:
    static std::vector<Engine> enginesUnderTest()
    {
#ifdef KEYSTREL_HAVE_AESNI
        return {kPortable, kPublic, kAesNi};
#else
        return {kPortable, kPublic};
#endif
    }

    void addEngineRows()
    {
        QTest::addColumn<int>("engine");
        const std::vector<Engine> engines = enginesUnderTest();
        for (int i = 0; i < int(engines.size()); ++i)
            QTest::newRow(engines[i].name) << i;
    }

private slots:
    void activeEngineFollowsTheProcessor()
    {
        const QByteArray expected = aesNiUsable() ? "aes-ni" : "portable";
        QCOMPARE(QByteArray(activeAesEngine()), expected);
    }

    void fips197AppendixC1_data()
    {
        addEngineRows();
    }
    void fips197AppendixC1()
    {
        QFETCH(int, engine);
        const Engine e = enginesUnderTest().at(engine);
        if (e.needsAesNi)
            REQUIRE_AESNI();
        // One block under a zero IV is the bare cipher.
        const QByteArray key = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
        QByteArray block = QByteArray::fromHex("00112233445566778899aabbccddeeff");
        CipherContext ctx = makeContext(key, QByteArray(16, '\0'));
        e.encrypt(&ctx, u8(block), 16);
        QCOMPARE(block.toHex(), QByteArray("69c4e0d86a7b0430d8cdb78070b4c55a"));
        QCOMPARE(ivOf(ctx), block);
        ctx = makeContext(key, QByteArray(16, '\0'));
        e.decrypt(&ctx, u8(block), 16);
        QCOMPARE(block.toHex(), QByteArray("00112233445566778899aabbccddeeff"));
        QCOMPARE(ivOf(ctx).toHex(), QByteArray("69c4e0d86a7b0430d8cdb78070b4c55a"));
    }

    void sp80038aCbc_data()
    {
        addEngineRows();
    }
    void sp80038aCbc()
    {
        QFETCH(int, engine);
        const Engine e = enginesUnderTest().at(engine);
        if (e.needsAesNi)
            REQUIRE_AESNI();
        // F.2.1 in one call, then block by block.
        QByteArray data = kSpPlain;
        CipherContext ctx = makeContext(kSpKey, kSpIv);
        e.encrypt(&ctx, u8(data), 64);
        QCOMPARE(data.toHex(), kSpCipher.toHex());
        QCOMPARE(ivOf(ctx), kSpCipher.right(16));
        data = kSpPlain;
        ctx = makeContext(kSpKey, kSpIv);
        for (int b = 0; b < 4; ++b)
            e.encrypt(&ctx, u8(data) + 16 * b, 16);
        QCOMPARE(data.toHex(), kSpCipher.toHex());

        // F.2.2 in one call, then block by block.
        ctx = makeContext(kSpKey, kSpIv);
        e.decrypt(&ctx, u8(data), 64);
        QCOMPARE(data.toHex(), kSpPlain.toHex());
        QCOMPARE(ivOf(ctx), kSpCipher.right(16));
        data = kSpCipher;
        ctx = makeContext(kSpKey, kSpIv);
        for (int b = 0; b < 4; ++b) {
            e.decrypt(&ctx, u8(data) + 16 * b, 16);
            QCOMPARE(ivOf(ctx), kSpCipher.mid(16 * b, 16));
        }
        QCOMPARE(data.toHex(), kSpPlain.toHex());
    }

    void sp80038aRepeatedPastTheDecryptionGroups_data()
    {
        addEngineRows();
    }
    void sp80038aRepeatedPastTheDecryptionGroups()
    {
        QFETCH(int, engine);
        const Engine e = enginesUnderTest().at(engine);
        if (e.needsAesNi)
            REQUIRE_AESNI();
        // 4 x 4 + 3 = 19 blocks: the vector chained onward, so decryption
        // crosses whole groups of blocks and a remainder. The first four
        // ciphertext blocks must still be F.2.1's.
        const QByteArray plain = kSpPlain.repeated(4) + kSpPlain.left(48);
        QByteArray data = plain;
        CipherContext ctx = makeContext(kSpKey, kSpIv);
        e.encrypt(&ctx, u8(data), std::uint32_t(data.size()));
        QCOMPARE(data.left(64).toHex(), kSpCipher.toHex());
        const QByteArray cipher = data;
        ctx = makeContext(kSpKey, kSpIv);
        e.decrypt(&ctx, u8(data), std::uint32_t(data.size()));
        QCOMPARE(data, plain);
        QCOMPARE(ivOf(ctx), cipher.right(16));
    }

    void randomChainsGiveIdenticalBytes()
    {
        REQUIRE_AESNI();
#ifdef KEYSTREL_HAVE_AESNI
        QRandomGenerator rng(20240607);
        const int guard = 32;
        for (int round = 0; round < 300; ++round) {
            const QByteArray key = randomBytes(rng, 16);
            const QByteArray iv = randomBytes(rng, 16);
            // Up to five calls per chain, each of any length (not only whole
            // blocks), some long enough for many decryption groups.
            QVector<int> pieces;
            int rounded = 0;
            const int calls = int(rng.bounded(1, 6));
            for (int c = 0; c < calls; ++c) {
                const int length = rng.bounded(8) == 0 ? int(rng.bounded(4096, 20000)) : int(rng.bounded(0, 300));
                pieces.append(length);
                rounded += int(cbcBlockCount(std::uint32_t(length)) * kAesBlockSize);
            }
            // An odd start keeps the hardware path honest about alignment.
            const int offset = int(rng.bounded(16));
            const QByteArray original = randomBytes(rng, offset + rounded + guard);

            const ChainRun portable = runChain(kPortable.encrypt, key, iv, original, offset, pieces);
            const ChainRun hardware = runChain(kAesNi.encrypt, key, iv, original, offset, pieces);
            QCOMPARE(hardware.buffer, portable.buffer);
            QCOMPARE(hardware.ivAfterEachCall, portable.ivAfterEachCall);
            // Nothing before the start or past the last whole block moves.
            QCOMPARE(hardware.buffer.left(offset), original.left(offset));
            QCOMPARE(hardware.buffer.right(guard), original.right(guard));

            // Decrypt with the chain cut differently; each engine restores
            // the other's ciphertext.
            std::reverse(pieces.begin(), pieces.end());
            for (int &piece : pieces)
                piece = int(cbcBlockCount(std::uint32_t(piece)) * kAesBlockSize);
            const ChainRun back = runChain(kAesNi.decrypt, key, iv, portable.buffer, offset, pieces);
            const ChainRun reference = runChain(kPortable.decrypt, key, iv, hardware.buffer, offset, pieces);
            QCOMPARE(back.buffer, reference.buffer);
            QCOMPARE(back.ivAfterEachCall, reference.ivAfterEachCall);
            QCOMPARE(back.buffer, original);
        }
#endif
    }

    void decryptionOfEveryBlockCountAgrees()
    {
        REQUIRE_AESNI();
#ifdef KEYSTREL_HAVE_AESNI
        // Every block count through three groups of blocks in flight and all
        // remainders, with the chaining value left behind compared as well.
        QRandomGenerator rng(7);
        const QByteArray key = randomBytes(rng, 16);
        const QByteArray iv = randomBytes(rng, 16);
        const QByteArray cipher = randomBytes(rng, 16 * 25);
        for (int blocks = 0; blocks <= 25; ++blocks) {
            QByteArray viaPortable = cipher, viaHardware = cipher;
            CipherContext p = makeContext(key, iv), h = makeContext(key, iv);
            aes_portable::cbcDecrypt(&p, u8(viaPortable), std::uint32_t(16 * blocks));
            aes_ni::cbcDecrypt(&h, u8(viaHardware), std::uint32_t(16 * blocks));
            QCOMPARE(viaHardware, viaPortable);
            QCOMPARE(ivOf(h), ivOf(p));
            QCOMPARE(ivOf(h), blocks == 0 ? iv : cipher.mid(16 * (blocks - 1), 16));
            QCOMPARE(viaHardware.mid(16 * blocks), cipher.mid(16 * blocks));
        }
#endif
    }

    void blockFunctionsShareTheContext()
    {
        REQUIRE_AESNI();
#ifdef KEYSTREL_HAVE_AESNI
        // The block functions take the chaining value apart from the
        // context; both engines treat it alike.
        QRandomGenerator rng(11);
        const CipherContext ctx = makeContext(randomBytes(rng, 16), randomBytes(rng, 16));
        const QByteArray plain = randomBytes(rng, 16 * 13);
        const QByteArray encryptChain = randomBytes(rng, 16);
        QByteArray chainP = encryptChain, chainH = encryptChain;
        QByteArray a = plain, b = plain;
        aes_portable::encryptBlocks(ctx, u8(chainP), u8(a), 13);
        aes_ni::encryptBlocks(ctx, u8(chainH), u8(b), 13);
        QCOMPARE(b, a);
        QCOMPARE(chainH, chainP);
        QCOMPARE(chainH, a.right(16));
        const QByteArray startChain = randomBytes(rng, 16);
        chainP = startChain;
        chainH = startChain;
        aes_portable::decryptBlocks(ctx, u8(chainP), u8(a), 13);
        aes_ni::decryptBlocks(ctx, u8(chainH), u8(b), 13);
        QCOMPARE(b, a);
        QCOMPARE(chainH, chainP);
        // Only the first block sees the other starting chain.
        QCOMPARE(a.mid(16), plain.mid(16));
        QByteArray firstBlock = plain.left(16);
        for (int i = 0; i < 16; ++i)
            firstBlock[i] = char(firstBlock[i] ^ encryptChain[i] ^ startChain[i]);
        QCOMPARE(a.left(16), firstBlock);
#endif
    }
};

QTEST_APPLESS_MAIN(TestAesNi)
#include "tst_aesni.moc"
