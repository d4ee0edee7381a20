// The real window, the real serial layer and the simulated device on a pseudo-terminal.
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "../logo/bitmapbytes.h"
#include "ui/mainwindow.h"
#include "uitesthelpers.h"

#ifdef Q_OS_UNIX
#include "port/serialcomm.h"
#include "simpty.h"
#endif

using namespace kestrel;

class WindowDownloadTest : public QObject {
  Q_OBJECT

 private slots:
  void downloadReachesTheDeviceOrReportsItsRefusal_data() {
    QTest::addColumn<int>("nakAtBlock");
    QTest::addColumn<bool>("neverAnswer");
    QTest::addColumn<QString>("message");
    QTest::newRow("device accepts all") << -1 << false << QString();
    QTest::newRow("device refuses block 50")
        << 50 << false << "COMMUNICATION ERROR !!\r\rCheck configuration and connection.";
    QTest::newRow("device silent") << -1 << true
                                   << "COMMUNICATION ERROR !!\r\rCheck configuration and connection.";
  }
  void downloadReachesTheDeviceOrReportsItsRefusal() {
#ifndef Q_OS_UNIX
    QSKIP("The simulated device needs a pseudo-terminal");
#else
    QFETCH(int, nakAtBlock);
    QFETCH(bool, neverAnswer);
    QFETCH(QString, message);

    test::SettingsFolder folder;
    folder.writeIni("[SerialPort]\r\nCommPort= 1\r\nBaud= 115200,N,8,1\r\n");
    sim::SimOptions options;
    options.linkPath = folder.path() + QStringLiteral("/COM1");
    options.device.nakAtBlock = nakAtBlock;
    options.device.neverAnswer = neverAnswer;
    sim::SimRunner device(options);
    QString error;
    QVERIFY2(device.start(&error), qPrintable(error));

    test::MessageCapture messages;
    frmPantallaTest window(std::make_unique<SerialComm>());
    window.setEndProgram([] {});
    QCOMPARE(window.panelText(1), QStringLiteral("Port opened"));

    QByteArray pixels(1920, '\0');
    for (int i = 0; i < pixels.size(); ++i) pixels[i] = char((i * 37 + i / 32) & 0xFF);
    const QString path = folder.path() + QStringLiteral("/logo.bmp");
    QVERIFY(test::WriteBytes(path, test::BitmapBytes({}, pixels)));
    window.setFileChooser([path](QWidget*) { return path; });
    window.cmdOpen_Click();
    QVERIFY(window.cmdSend()->isEnabled());

    window.cmdSend_Click();

    const QByteArray sent(reinterpret_cast<const char*>(window.LogoData().data()), kLogoBytes);
    if (message.isEmpty()) {
      QVERIFY(messages.messages.isEmpty());
      QCOMPARE(device.device().completedDownloads(), 1);
      QVERIFY(device.device().lastChecksumMatched());
      QCOMPARE(device.device().logo(), sent);
      QCOMPARE(device.device().memoryAt(0), uint8_t{0x00});
      QCOMPARE(device.device().memoryAt(1), uint8_t{0x01});
    } else {
      QCOMPARE(messages.messages.size(), 1);
      QCOMPARE(messages.messages[0].text, message);
      QCOMPARE(device.device().completedDownloads(), 0);
    }
    if (nakAtBlock > 0) QCOMPARE(device.device().blocksInDownload(), nakAtBlock + 1);
    QVERIFY(window.isEnabled());
    QVERIFY(window.cmdSend()->isEnabled());
    QVERIFY(window.prgBar()->isHidden());
    device.stop();
#endif
  }
};

QTEST_MAIN(WindowDownloadTest)
#include "tst_windowdownload.moc"
