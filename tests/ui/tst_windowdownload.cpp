// The real window, the real serial layer and the simulated device on a pseudo-terminal.
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "port/serialcomm.h"
#include "ptyhelper.h"
#include "simpty.h"
#include "windowrig.h"

using namespace kestrel;

class WindowDownloadTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { KESTREL_REQUIRE_PTY(); }

  void downloadReachesTheDeviceOrReportsItsRefusal_data() {
    QTest::addColumn<int>("nakAtBlock");
    QTest::addColumn<bool>("neverAnswer");
    QTest::addColumn<QString>("message");
    QTest::newRow("device accepts all") << -1 << false << QString();
    QTest::newRow("device refuses block 50")
        << 50 << false << "COMMUNICATION ERROR !!\r\rCheck configuration and connection.";
    QTest::newRow("device silent")
        << -1 << true << "COMMUNICATION ERROR !!\r\rCheck configuration and connection.";
  }
  void downloadReachesTheDeviceOrReportsItsRefusal() {
    QFETCH(int, nakAtBlock);
    QFETCH(bool, neverAnswer);
    QFETCH(QString, message);

    sim::SimOptions options;
    options.device.nakAtBlock = nakAtBlock;
    options.device.neverAnswer = neverAnswer;
    sim::SimRunner device(options);
    QString error;
    QVERIFY2(device.start(&error), qPrintable(error));

    test::WindowRig rig(
        test::kIniCom1Fast, std::make_unique<SerialComm>(),
        [&](test::TempProgramFolder& folder) { QVERIFY(folder.linkPort(1, device.slavePath())); });
    frmPantallaTest& window = *rig.window;
    QCOMPARE(window.panelText(1), QStringLiteral("Port opened"));
    QVERIFY2(window.windowTitle().contains(QStringLiteral("simulated device")),
             qPrintable(window.windowTitle()));

    QByteArray pixels(1920, '\0');
    for (int i = 0; i < pixels.size(); ++i) pixels[i] = char((i * 37 + i / 32) & 0xFF);
    rig.open(rig.writeLogo(QStringLiteral("logo.bmp"), pixels));
    QVERIFY(window.cmdSend()->isEnabled());

    window.cmdSend_Click();

    const QByteArray sent(reinterpret_cast<const char*>(window.LogoData().data()), kLogoBytes);
    if (message.isEmpty()) {
      QVERIFY(rig.messages.messages.isEmpty());
      QCOMPARE(device.device().completedDownloads(), 1);
      QVERIFY(device.device().lastChecksumMatched());
      QCOMPARE(device.device().logo(), sent);
      QCOMPARE(device.device().memoryAt(0), uint8_t{0x00});
      QCOMPARE(device.device().memoryAt(1), uint8_t{0x01});
    } else {
      QCOMPARE(rig.messages.messages.size(), 1);
      QCOMPARE(rig.messages.messages[0].text, message);
      QCOMPARE(device.device().completedDownloads(), 0);
    }
    if (nakAtBlock > 0) QCOMPARE(device.device().blocksInDownload(), nakAtBlock + 1);
    QVERIFY(window.isEnabled());
    QVERIFY(window.cmdSend()->isEnabled());
    QVERIFY(window.prgBar()->isHidden());
    device.stop();
  }
};

QTEST_MAIN(WindowDownloadTest)
#include "tst_windowdownload.moc"
