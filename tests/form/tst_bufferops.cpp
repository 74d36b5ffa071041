// The form's buffer operations under the fixed key, chosen by the selector.
#include "form/Form.h"

#include <QComboBox>
#include <QtTest>

#include <cstdlib>

using namespace vaultine;

namespace {
unsigned char *u8(QByteArray &b)
{
    return reinterpret_cast<unsigned char *>(b.data());
}
} // namespace

class TestBufferOps : public QObject
{
    Q_OBJECT

private slots:
    void roundTripUnderAes()
    {
        Form form;
        const QByteArray plain = QByteArray("The quick brown fox jumps over the lazy dog!!!!!").left(48);
        QByteArray data = plain;
        QCOMPARE(form.encryptBuffer(u8(data), data.size()), 0);
        QVERIFY(data != plain);
        QCOMPARE(form.decryptBuffer(u8(data), data.size()), 0);
        QCOMPARE(data, plain);
    }

    void fixedKeyAndIvMatchOpenssl()
    {
        // The published key and IV: an outside implementation agrees.
        if (QStandardPaths::findExecutable("openssl").isEmpty())
            QSKIP("openssl command not installed");
        Form form;
        QByteArray data("sixteen byte msg");
        form.encryptBuffer(u8(data), 16);
        QProcess openssl;
        openssl.start("openssl", {"enc", "-aes-128-cbc", "-nopad", "-K", "4b8b92b0f10cb41fd91d9cbc42023f83", "-iv",
                                  "5e5d3044342076ff1a94f8653215f47a"});
        openssl.write("sixteen byte msg");
        openssl.closeWriteChannel();
        QVERIFY(openssl.waitForFinished());
        QCOMPARE(data.toHex(), openssl.readAllStandardOutput().toHex());
    }

    void everyCallStartsFromTheIv()
    {
        Form form;
        QByteArray a("0123456789abcdef"), b("0123456789abcdef");
        form.encryptBuffer(u8(a), 16);
        form.encryptBuffer(u8(b), 16);
        QCOMPARE(a, b);
    }

    void otherSelectorTextLeavesBufferAlone_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("lower case") << "aes";
        QTest::newRow("trailing space") << "AES ";
        QTest::newRow("empty") << "";
    }

    void otherSelectorTextLeavesBufferAlone()
    {
        QFETCH(QString, name);
        Form form;
        auto *combo = form.findChild<QComboBox *>("comboBox");
        QVERIFY(combo);
        combo->setEditable(true); // the only way to put another text there
        combo->setEditText(name);
        QCOMPARE(combo->currentText(), name);
        QByteArray data("0123456789abcdef");
        QCOMPARE(form.encryptBuffer(u8(data), 16), 0);
        QCOMPARE(data, QByteArray("0123456789abcdef"));
        QCOMPARE(form.decryptBuffer(u8(data), 16), 0);
        QCOMPARE(data, QByteArray("0123456789abcdef"));
    }

    void zeroLengthLeavesBufferAlone()
    {
        Form form;
        QByteArray data(16, 'z');
        form.encryptBuffer(u8(data), 0);
        form.decryptBuffer(u8(data), 0);
        QCOMPARE(data, QByteArray(16, 'z'));
    }
};

QTEST_MAIN(TestBufferOps)
#include "tst_bufferops.moc"
