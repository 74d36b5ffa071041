// The window system's request to close a window, as the main window reads
// it from native events: an X11 WM_DELETE_WINDOW client message, a Windows
// WM_CLOSE, and nothing else.
#include "CloseRequest.h"

#include <QtTest>

#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

constexpr quint32 kWindow = 0x1400007, kProtocols = 301, kDelete = 302, kTakeFocus = 303;

QByteArray clientMessage(quint8 type, quint8 format, quint32 window, quint32 messageType, quint32 protocol)
{
    QByteArray event(32, '\0');
    event[0] = char(type);
    event[1] = char(format);
    std::memcpy(event.data() + 4, &window, 4);
    std::memcpy(event.data() + 8, &messageType, 4);
    std::memcpy(event.data() + 12, &protocol, 4);
    return event;
}

} // namespace

class TestCloseRequest : public QObject
{
    Q_OBJECT

private slots:
    void x11DeleteWindow_data()
    {
        QTest::addColumn<QByteArray>("event");
        QTest::addColumn<bool>("close");
        QTest::newRow("delete window") << clientMessage(33, 32, kWindow, kProtocols, kDelete) << true;
        QTest::newRow("sent by a client") << clientMessage(33 | 0x80, 32, kWindow, kProtocols, kDelete) << true;
        QTest::newRow("take focus") << clientMessage(33, 32, kWindow, kProtocols, kTakeFocus) << false;
        QTest::newRow("another window") << clientMessage(33, 32, kWindow + 1, kProtocols, kDelete) << false;
        QTest::newRow("another type") << clientMessage(33, 32, kWindow, kProtocols + 9, kDelete) << false;
        QTest::newRow("8-bit data") << clientMessage(33, 8, kWindow, kProtocols, kDelete) << false;
        QTest::newRow("not a client message") << clientMessage(28, 32, kWindow, kProtocols, kDelete) << false;
    }

    void x11DeleteWindow()
    {
        QFETCH(QByteArray, event);
        QFETCH(bool, close);
        QCOMPARE(closerequest::isX11DeleteWindow(event.constData(), kWindow, kProtocols, kDelete), close);
        // Atoms not known (no X server): never a close.
        QVERIFY(!closerequest::isX11DeleteWindow(event.constData(), kWindow, 0, 0));
    }

    void nativeCloseOfThisPlatform()
    {
#ifdef Q_OS_WIN
        const HWND window = reinterpret_cast<HWND>(quintptr(0x10080));
        MSG close{window, WM_CLOSE, 0, 0, 0, { 0, 0 }};
        QVERIFY(closerequest::isCloseRequest("windows_generic_MSG", &close, WId(window)));
        QVERIFY(!closerequest::isCloseRequest("windows_generic_MSG", &close, WId(0x10081)));
        MSG other{window, WM_SYSCOMMAND, 0, 0, 0, { 0, 0 }};
        QVERIFY(!closerequest::isCloseRequest("windows_generic_MSG", &other, WId(window)));
        QVERIFY(!closerequest::isCloseRequest("xcb_generic_event_t", &close, WId(window)));
#else
        // Outside an X11 session the atoms cannot be known: nothing is a close.
        QByteArray event = clientMessage(33, 32, kWindow, kProtocols, kDelete);
        QVERIFY(!closerequest::isCloseRequest("windows_generic_MSG", event.data(), WId(kWindow)));
        if (qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("offscreen"))
            QVERIFY(!closerequest::isCloseRequest("xcb_generic_event_t", event.data(), WId(kWindow)));
#endif
    }
};

QTEST_GUILESS_MAIN(TestCloseRequest)
#include "tst_closerequest.moc"
