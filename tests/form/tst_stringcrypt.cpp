// String encryption: hexadecimal form, log lines, and what decryption accepts.
#include "FileTestUtils.h"
#include "LogRecorder.h"
#include "form/Form.h"
#include "strings/StringCrypt.h"

#include <QtTest>

using namespace vaultine;

class TestStringCrypt : public QObject
{
    Q_OBJECT

    static QString encrypted(const QString &plain)
    {
        Form form;
        QString text = plain;
        form.encryptString(text);
        return text;
    }

private slots:
    void init() { logrecorder::clear(); }

    void emptyText()
    {
        Form form;
        QString text;
        QCOMPARE(form.encryptString(text), 0);
        QCOMPARE(text, QString());
        QCOMPARE(logrecorder::takeLines(), QStringList({"长度：0", "原始字符串：", "加密二进制："}));
        QCOMPARE(form.decryptString(text), 0);
        QCOMPARE(text, QString());
        QCOMPARE(logrecorder::takeLines(), QStringList({"解密：长度：0", "原始二进制字符串：", "解密字符串："}));
    }

    void lengthsAndRoundTrip_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<int>("digits");
        QTest::newRow("one letter") << "a" << 32;
        QTest::newRow("16 letters") << QString(16, 'b') << 32;
        QTest::newRow("17 letters") << QString(17, 'c') << 64;
        QTest::newRow("300 letters") << QString(300, 'd') << 608;
        QTest::newRow("one CJK character") << QString("密") << 32;
        QTest::newRow("mixed") << QString("Grüße, 世界! 😀 line\nbreak") << 64;
    }

    void lengthsAndRoundTrip()
    {
        QFETCH(QString, plain);
        QFETCH(int, digits);
        Form form;
        QString text = plain;
        form.encryptString(text);
        QCOMPARE(text.size(), digits);
        QCOMPARE(text, text.toLower());
        QVERIFY(QRegularExpression("^[0-9a-f]*$").match(text).hasMatch());
        QCOMPARE(logrecorder::takeLines(), QStringList({"长度：" + QString::number(plain.toUtf8().size()),
                                                        "原始字符串：" + plain, "加密二进制：" + text}));
        if (filetest::haveOpenssl())
            QCOMPARE(text.toLatin1(), filetest::openssl(filetest::spacePadded(plain.toUtf8()), false).toHex());

        const QString hex = text;
        form.decryptString(text);
        QCOMPARE(text, plain);
        QCOMPARE(logrecorder::takeLines(), QStringList({"解密：长度：" + QString::number(digits),
                                                        "原始二进制字符串：" + hex, "解密字符串：" + plain}));
    }

    void deterministic()
    {
        QCOMPARE(encrypted("same text"), encrypted("same text"));
        QVERIFY(encrypted("same text") != encrypted("same text!"));
    }

    void upperCaseAndOddDigit()
    {
        Form form;
        const QString hex = encrypted("case");
        QString text = hex.toUpper() + "F"; // a last unpaired digit is ignored
        logrecorder::clear();
        form.decryptString(text);
        QCOMPARE(text, QString("case"));
        const QStringList lines = logrecorder::takeLines();
        QCOMPARE(lines.at(0), QString("解密：长度：33"));
        QCOMPARE(lines.at(1), "原始二进制字符串：" + hex);
    }

    void trailingSpacesAndZeroCharacter()
    {
        Form form;
        const struct
        {
            QString plain, back;
            bool warned;
        } cases[] = {
            {"abc  ", "abc", true},
            {" ", " ", false},
            {QString(16, ' '), " ", true},
            {QString("ab") + QChar(0) + "cd", "ab", true},
            {"no spaces", "no spaces", false},
        };
        for (const auto &c : cases) {
            QString text = c.plain;
            form.encryptString(text);
            const QStringList lines = logrecorder::takeLines();
            QCOMPARE(lines.size(), c.warned ? 4 : 3);
            if (c.warned)
                QCOMPARE(lines.at(1), QString("警告：字符串以空格结尾或含有空字符，解密后无法完全还原"));
            form.decryptString(text);
            QCOMPARE(text, c.back);
            logrecorder::clear();
        }
    }

    void refusesWhatCannotBeWholeBlocks()
    {
        Form form;
        const QString hex = encrypted("refused");
        const QStringList notBlocks = {hex.left(30), hex + "00", "xyz"};
        for (const QString &input : notBlocks) {
            QString text = input;
            logrecorder::clear();
            form.decryptString(text);
            QCOMPARE(text, input);
            QCOMPARE(logrecorder::takeLines(),
                     QStringList({"解密：长度：" + QString::number(input.size()),
                                  "解密：密文长度不是16字节的整数倍，无法解密，字符串保持不变"}));
        }
        QString text = hex.left(30) + "密";
        const QString before = text;
        logrecorder::clear();
        form.decryptString(text);
        QCOMPARE(text, before);
        QCOMPARE(logrecorder::takeLines(),
                 QStringList({"解密：长度：33", "解密：含有非ASCII字符，无法解密，字符串保持不变"}));
    }

    void pairsParseLikeStrtol()
    {
        // " f" and "+f" give 15, "-1" gives 0xff, pairs without a leading
        // digit give 0, "0x" stops after the 0.
        QCOMPARE(stringcrypt::parseHexPairs(" f+f-1zz0xAb9").toHex(), QByteArray("0f0fff0000ab"));
        // Non-hexadecimal text of whole blocks still decrypts, to something.
        Form form;
        QString text(32, 'g');
        form.decryptString(text);
        QCOMPARE(logrecorder::takeLines().at(1), "原始二进制字符串：" + QString(32, '0'));
    }
};

QTEST_MAIN(TestStringCrypt)
#include "tst_stringcrypt.moc"
