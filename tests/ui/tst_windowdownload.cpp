// The real window, the real serial layer and the simulated device on a pseudo-terminal.
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
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

    QVERIFY(rig.send());

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

  // COM 1 is pointed elsewhere while the window holds it open: the logo goes to the device
  // held open, and the log must name that one.
  void logNamesTheDeviceOpenedWhenTheLinkMoved() {
    sim::SimRunner device{sim::SimOptions{}};
    QString error;
    QVERIFY2(device.start(&error), qPrintable(error));
    test::WindowRig rig(
        test::kIniCom1Fast, std::make_unique<SerialComm>(),
        [&](test::TempProgramFolder& folder) { QVERIFY(folder.linkPort(1, device.slavePath())); });
    QCOMPARE(rig.window->panelText(1), QStringLiteral("Port opened"));
    QVERIFY(rig.folder.linkPort(1, QStringLiteral("/dev/ttyS0")));
    rig.open(rig.writeLogo(QStringLiteral("logo.bmp"), QByteArray(1920, '\x5a')));
    QVERIFY(rig.send());
    QCOMPARE(device.device().completedDownloads(), 1);

    QFile log(rig.folder.filePath(QStringLiteral("kestrel-loads.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> row = log.readAll().split('\n').value(1).split(',');
    QCOMPARE(QString::fromUtf8(row.value(2)), device.slavePath());
    device.stop();
  }

  // The settings file assigns COM 3 a stable name, as /dev/serial/by-id names an adapter; the
  // simulated device makes that link with its terminal and takes both away when pulled.
  void devicesAssignmentFollowsTheAdapterOutAndBackIn() {
    std::unique_ptr<sim::SimRunner> device;
    QString adapter;
    const auto plugIn = [&] {
      sim::SimOptions options;
      options.linkPath = adapter;
      device = std::make_unique<sim::SimRunner>(options);
      QString error;
      QVERIFY2(device->start(&error), qPrintable(error));
    };
    test::WindowRig rig(
        QByteArray(), std::make_unique<SerialComm>(), [&](test::TempProgramFolder& folder) {
          adapter = folder.filePath(QStringLiteral("usb-Maker_UART_A1-if00"));
          plugIn();
          QVERIFY(folder.writeIni({"[SerialPort]", "CommPort= 3", "Baud= 115200,N,8,1", "[Devices]",
                                   "COM3=" + adapter}));
        });
    frmPantallaTest& window = *rig.window;
    QCOMPARE(window.panelText(1), QStringLiteral("Port opened"));
    QCOMPARE(window.panelText(2), QStringLiteral("COM  3"));
    QVERIFY(window.connection().portToolTip().startsWith(device->slavePath()));
    rig.open(rig.writeLogo(QStringLiteral("logo.bmp"), QByteArray(1920, '\x5a')));
    QVERIFY(rig.send());
    QVERIFY(rig.messages.messages.isEmpty());
    QCOMPARE(device->device().completedDownloads(), 1);

    // Pulled: the window says so at once, and COM 3 is no longer there.
    device->stop();
    QTRY_COMPARE(window.panelText(1), QStringLiteral("Port closed"));
    window.connection().refreshPortAvailability();
    QVERIFY(!window.connection().PortAvailable[2]);
    QVERIFY(rig.send());
    QCOMPARE(rig.messages.messages.size(), 1);
    QCOMPARE(rig.messages.messages[0].text,
             QStringLiteral("Serial port cannot be opened. Check setting.\r") + adapter);

    // Back, on another terminal behind the same name: the next Send opens it again.
    plugIn();
    QVERIFY(rig.send());
    QCOMPARE(rig.messages.messages.size(), 1);
    QCOMPARE(device->device().completedDownloads(), 1);
    QCOMPARE(window.panelText(1), QStringLiteral("Port opened"));
  }

  void portDialogFollowsAPortThatAppears() {
    test::WindowRig rig(test::kIniCom1Fast, std::make_unique<SerialComm>(),
                        [](test::TempProgramFolder& folder) {
                          for (int port = 1; port <= 8; ++port)
                            QVERIFY(folder.linkPort(port, QStringLiteral("/nonexistent/ttyUSB0")));
                        });
    CommDialog dialog(rig.window->connection(), rig.window.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));  // its activation looked already
    QVERIFY(!dialog.optCommPort(4)->isEnabled());
    test::DevicePty device;
    QVERIFY(device.open(rig.folder, 5));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.optCommPort(4)->isEnabled(), 5000);
    QCOMPARE(dialog.lstPortDevices()->topLevelItem(4)->text(1), device.slavePath());
  }
};

QTEST_MAIN(WindowDownloadTest)
#include "tst_windowdownload.moc"
