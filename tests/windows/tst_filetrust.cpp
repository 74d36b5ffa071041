// Who besides this user, Administrators and SYSTEM could change a plug-in,
// judged from security descriptors as NTFS keeps them, written in SDDL. Wine
// keeps of a file's access list only what Unix permissions can say, so lists
// as Windows makes them (a folder in the profile, in Program Files, at the
// root of C:) are tried here directly.
#include "FileTrust_win.h"
#include "TestUser.h"

#include <QtTest>

#include <windows.h>

#include <sddl.h>

namespace {

const QString kTrustedInstaller = QStringLiteral("S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464");
const QString kAllPackages = QStringLiteral("S-1-15-2-1");

QString judge(const QString &sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(reinterpret_cast<const wchar_t *>(sddl.utf16()),
                                                                SDDL_REVISION_1, &descriptor, nullptr))
        return QStringLiteral("(not SDDL)");
    const QString why = filetrust::whyUntrustedDescriptor(descriptor);
    ::LocalFree(descriptor);
    return why;
}

} // namespace

class TestFileTrust : public QObject
{
    Q_OBJECT

private slots:
    void descriptors_data()
    {
        const QString me = testUserSid();
        QTest::addColumn<QString>("sddl");
        QTest::addColumn<QString>("why"); // how the reason begins; empty: trusted
        // %LOCALAPPDATA%\Programs\Keystrel, inherited from the profile.
        QTest::newRow("per-user install")
            << QStringLiteral("O:%1D:(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;FA;;;%1)").arg(me) << QString();
        // C:\Program Files\Keystrel, made by an administrator.
        QTest::newRow("per-machine install")
            << QStringLiteral("O:BAD:(A;ID;FA;;;%1)(A;CIIOID;GA;;;%1)(A;ID;0x1301bf;;;SY)(A;OICIIOID;GA;;;SY)"
                              "(A;ID;0x1301bf;;;BA)(A;OICIIOID;GA;;;BA)(A;ID;0x1200a9;;;BU)(A;OICIIOID;GXGR;;;BU)"
                              "(A;OICIIOID;GA;;;CO)(A;ID;0x1200a9;;;%2)(A;OICIIOID;GXGR;;;%2)")
                   .arg(kTrustedInstaller, kAllPackages)
            << QString();
        QTest::newRow("a denial grants nothing")
            << QStringLiteral("O:%1D:(D;;FA;;;WD)(A;;FA;;;%1)").arg(me) << QString();
        QTest::newRow("opened to Everyone")
            << QStringLiteral("O:%1D:(A;;FA;;;%1)(A;;0x1301bf;;;WD)").arg(me) << QStringLiteral("可由 ");
        // A folder made at the root of C: lets every signed-in user change it.
        QTest::newRow("made at the root of C:")
            << QStringLiteral(
                   "O:%1D:(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)(A;ID;FA;;;%1)")
                   .arg(me)
            << QStringLiteral("可由 ");
        QTest::newRow("another user's") << QStringLiteral("O:S-1-5-21-1-2-3-1001D:(A;;FA;;;S-1-5-21-1-2-3-1001)")
                                        << QStringLiteral("属于其他用户：");
    }

    void descriptors()
    {
        QFETCH(QString, sddl);
        QFETCH(QString, why);
        const QString judged = judge(sddl);
        if (why.isEmpty())
            QCOMPARE(judged, QString());
        else
            QVERIFY2(judged.startsWith(why), qUtf8Printable(judged));
    }

    // No list at all lets everyone in (Wine's SDDL makes an empty list of
    // "NO_ACCESS_CONTROL", which lets nobody in).
    void noAccessListLetsEveryoneWrite()
    {
        PSID owner = nullptr;
        QVERIFY(::ConvertStringSidToSidW(reinterpret_cast<const wchar_t *>(testUserSid().utf16()), &owner));
        SECURITY_DESCRIPTOR descriptor;
        QVERIFY(::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
        QVERIFY(::SetSecurityDescriptorOwner(&descriptor, owner, FALSE));
        QVERIFY(::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
        const QString judged = filetrust::whyUntrustedDescriptor(&descriptor);
        ::LocalFree(owner);
        QVERIFY2(judged.startsWith(QStringLiteral("没有访问控制列表")), qUtf8Printable(judged));
    }
};

QTEST_GUILESS_MAIN(TestFileTrust)
#include "tst_filetrust.moc"
