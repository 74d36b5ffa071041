// The engine against the published vectors and its whole-block contract.
#include "cipher/CipherContext.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QtTest>

#include <vector>

using namespace vaultine;

namespace {

using Bytes = QByteArray;

std::uint8_t *u8(QByteArray &b)
{
    return reinterpret_cast<std::uint8_t *>(b.data());
}
const std::uint8_t *u8(const QByteArray &b)
{
    return reinterpret_cast<const std::uint8_t *>(b.constData());
}

// SP 800-38A F.2.1 / F.2.2 (CBC-AES128).
const Bytes kSpKey = QByteArray::fromHex("2b7e151628aed2a6abf7158809cf4f3c");
const Bytes kSpIv = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
const Bytes kSpPlain = QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172a"
                                           "ae2d8a571e03ac9c9eb76fac45af8e51"
                                           "30c81c46a35ce411e5fbc1191a0a52ef"
                                           "f69f2445df4f9b17ad2b417be66c3710");
const Bytes kSpCipher = QByteArray::fromHex("7649abac8119b246cee98e9b12e9197d"
                                            "5086cb9b507219ee95db113a917678b2"
                                            "73bed6b8e3c1743b7116e69e22229516"
                                            "3ff1caa1681fac09120eca307586e1a7");

CipherContext makeContext(const Bytes &key, const Bytes &iv)
{
    CipherContext ctx;
    initCipherContext(&ctx, u8(key), u8(iv));
    return ctx;
}

Bytes ivOf(const CipherContext &ctx)
{
    return Bytes(reinterpret_cast<const char *>(ctx.iv), 16);
}

} // namespace

class TestAesEngine : public QObject
{
    Q_OBJECT

private slots:
    void fips197BlockAndKeySchedule()
    {
        // FIPS-197 appendix C.1: one block is CBC with a zero IV.
        const Bytes key = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
        Bytes block = QByteArray::fromHex("00112233445566778899aabbccddeeff");
        CipherContext ctx = makeContext(key, Bytes(16, '\0'));
        // Last round key of the C.1 schedule.
        QCOMPARE(Bytes(reinterpret_cast<const char *>(ctx.roundKeys + 160), 16).toHex(),
                 Bytes("13111d7fe3944a17f307a78b4d2b30c5"));
        cbcEncrypt(&ctx, u8(block), 16);
        QCOMPARE(block.toHex(), Bytes("69c4e0d86a7b0430d8cdb78070b4c55a"));
        ctx = makeContext(key, Bytes(16, '\0'));
        cbcDecrypt(&ctx, u8(block), 16);
        QCOMPARE(block.toHex(), Bytes("00112233445566778899aabbccddeeff"));
    }

    void sp80038aCbcBothDirections()
    {
        Bytes data = kSpPlain;
        CipherContext ctx = makeContext(kSpKey, kSpIv);
        cbcEncrypt(&ctx, u8(data), 64);
        QCOMPARE(data.toHex(), kSpCipher.toHex());
        QCOMPARE(ivOf(ctx), kSpCipher.right(16));

        ctx = makeContext(kSpKey, kSpIv);
        cbcDecrypt(&ctx, u8(data), 64);
        QCOMPARE(data.toHex(), kSpPlain.toHex());
        QCOMPARE(ivOf(ctx), kSpCipher.right(16));
    }

    void chainingAcrossCallsEqualsOneCall()
    {
        for (unsigned split : {16u, 32u, 48u}) {
            Bytes data = kSpPlain;
            CipherContext ctx = makeContext(kSpKey, kSpIv);
            cbcEncrypt(&ctx, u8(data), split);
            cbcEncrypt(&ctx, u8(data) + split, 64 - split);
            QCOMPARE(data.toHex(), kSpCipher.toHex());

            ctx = makeContext(kSpKey, kSpIv);
            cbcDecrypt(&ctx, u8(data), split);
            cbcDecrypt(&ctx, u8(data) + split, 64 - split);
            QCOMPARE(data.toHex(), kSpPlain.toHex());
        }
    }

    void zeroLengthChangesNothing()
    {
        Bytes data(32, '\x5a');
        CipherContext ctx = makeContext(kSpKey, kSpIv);
        cbcEncrypt(&ctx, u8(data), 0);
        cbcDecrypt(&ctx, u8(data), 0);
        QCOMPARE(data, Bytes(32, '\x5a'));
        QCOMPARE(ivOf(ctx), kSpIv);
    }

    void wholeBlockContract_data()
    {
        QTest::addColumn<unsigned>("length");
        for (unsigned length : {1u, 15u, 16u, 17u, 31u, 32u, 33u})
            QTest::addRow("%u", length) << length;
    }

    void wholeBlockContract()
    {
        QFETCH(unsigned, length);
        const unsigned rounded = cbcBlockCount(length) * 16;
        const int guard = 32;
        // Guard bytes around the rounded length must survive untouched.
        Bytes buffer(int(rounded) + guard, '\xee');
        for (unsigned i = 0; i < rounded; ++i)
            buffer[int(i)] = char(i * 7 + 1);
        const Bytes original = buffer;

        CipherContext ctx = makeContext(kSpKey, kSpIv);
        cbcEncrypt(&ctx, u8(buffer), length);
        QCOMPARE(buffer.mid(int(rounded)), original.mid(int(rounded)));
        QVERIFY(buffer.left(int(rounded)) != original.left(int(rounded)));
        QCOMPARE(ivOf(ctx), buffer.mid(int(rounded) - 16, 16));
        // The whole last block is ciphertext: the reference over the rounded
        // length gives the same bytes.
        Bytes reference = original;
        CipherContext refCtx = makeContext(kSpKey, kSpIv);
        cbcEncrypt(&refCtx, u8(reference), rounded);
        QCOMPARE(buffer, reference);

        ctx = makeContext(kSpKey, kSpIv);
        cbcDecrypt(&ctx, u8(buffer), length);
        QCOMPARE(buffer, original);
        QCOMPARE(ivOf(ctx), reference.mid(int(rounded) - 16, 16));
    }

    void randomRoundTripsAndDeterminism()
    {
        QRandomGenerator rng(1234);
        for (int round = 0; round < 50; ++round) {
            Bytes key(16, '\0'), iv(16, '\0');
            for (auto *b : {&key, &iv})
                for (char &c : *b)
                    c = char(rng.bounded(256));
            const int blocks = int(rng.bounded(1, 40));
            Bytes plain(blocks * 16, '\0');
            for (char &c : plain)
                c = char(rng.bounded(256));
            Bytes a = plain, b = plain;
            CipherContext c1 = makeContext(key, iv), c2 = makeContext(key, iv);
            cbcEncrypt(&c1, u8(a), uint32_t(a.size()));
            cbcEncrypt(&c2, u8(b), uint32_t(b.size()));
            QCOMPARE(a, b);
            QVERIFY(a != plain);
            CipherContext d = makeContext(key, iv);
            cbcDecrypt(&d, u8(a), uint32_t(a.size()));
            QCOMPARE(a, plain);
        }
    }

    void portableEngineMatchesPublicEntryPoints()
    {
        QRandomGenerator rng(99);
        Bytes plain(4096 + 48, '\0');
        for (char &c : plain)
            c = char(rng.bounded(256));
        Bytes viaPublic = plain, viaPortable = plain;
        CipherContext c1 = makeContext(kSpKey, kSpIv), c2 = makeContext(kSpKey, kSpIv);
        cbcEncrypt(&c1, u8(viaPublic), uint32_t(plain.size()));
        aes_portable::cbcEncrypt(&c2, u8(viaPortable), uint32_t(plain.size()));
        QCOMPARE(viaPublic, viaPortable);
        QCOMPARE(ivOf(c1), ivOf(c2));
        CipherContext d1 = makeContext(kSpKey, kSpIv), d2 = makeContext(kSpKey, kSpIv);
        cbcDecrypt(&d1, u8(viaPublic), uint32_t(plain.size()));
        aes_portable::cbcDecrypt(&d2, u8(viaPortable), uint32_t(plain.size()));
        QCOMPARE(viaPublic, plain);
        QCOMPARE(viaPortable, plain);
    }
};

QTEST_APPLESS_MAIN(TestAesEngine)
#include "tst_aesengine.moc"
