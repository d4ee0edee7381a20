// The serial-port control on real pseudo-terminals: the simulator's, or one the test drives.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QThread>
#include <QtTest/QtTest>
#include <functional>
#include <memory>
#if __has_include(<sys/sysmacros.h>)
#include <sys/sysmacros.h>  // makedev on Linux
#endif
#include <unistd.h>

#include "fakecommport.h"
#include "port/serialcomm.h"
#include "ptyhelper.h"

using kestrel::CommError;
using kestrel::SerialComm;
namespace CommErr = kestrel::CommErr;
using kestrel::test::DevicePty;
using kestrel::test::ErrorOf;
using kestrel::test::SimProcess;
using kestrel::test::TempProgramFolder;

namespace {

// A device terminal linked as COM2, and a port still closed.
struct DrivenPort {
  TempProgramFolder folder;
  DevicePty device;
  SerialComm port;

  bool linked() { return device.open(folder, 2); }
  QString com2() const { return folder.filePath(QStringLiteral("COM2")); }
};

kestrel::LineSettings At(int baud, char parity = 'n', int dataBits = 8) {
  kestrel::LineSettings settings;
  settings.baud = baud;
  settings.parity = parity;
  settings.dataBits = dataBits;
  return settings;
}

const QByteArray kHeaderFrame(";BB0000020001:?\r");
const QByteArray kAckCr("\x06\r", 2);
}  // namespace

class TestSerialCommPty : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { KESTREL_REQUIRE_PTY(); }

  void missingOrNonSerialDeviceIs8002_data() {
    QTest::addColumn<QString>("entry");  // what COM3 is in the program folder
    QTest::newRow("no entry, no /dev/ttyS") << "";
    QTest::newRow("dangling link") << "dangling";
    QTest::newRow("regular file") << "file";
    QTest::newRow("link to regular file") << "link-to-file";
    QTest::newRow("folder") << "folder";
    QTest::newRow("link to /dev/null") << "null";
    QTest::newRow("serial node with no UART behind it") << "no-uart";
  }
  void missingOrNonSerialDeviceIs8002() {
    QFETCH(QString, entry);
    TempProgramFolder folder;
    const QString com = folder.filePath(QStringLiteral("COM3"));
    const QString file = folder.filePath(QStringLiteral("plain"));
    QFile plain(file);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QString device = com;
    int number = 3;
    if (entry.isEmpty()) {
      device = QStringLiteral("/dev/ttyS254");
      number = 255;
      if (QFile::exists(device)) QSKIP("this system has /dev/ttyS254");
    } else if (entry == QLatin1String("dangling")) {
      QVERIFY(folder.linkPort(3, QStringLiteral("/nonexistent/ttyUSB0")));
    } else if (entry == QLatin1String("file")) {
      QVERIFY(QFile::copy(file, com));
    } else if (entry == QLatin1String("link-to-file")) {
      QVERIFY(folder.linkPort(3, file));
    } else if (entry == QLatin1String("folder")) {
      QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("COM3")));
    } else if (entry == QLatin1String("no-uart")) {
      // Major 4 minor 100 is /dev/ttyS36 of the 8250 driver: opening it gives ENXIO.
      if (::mknod(QFile::encodeName(com).constData(), S_IFCHR | 0600, makedev(4, 100)) != 0)
        QSKIP("cannot make a device node here (needs root)");
    } else {
      QVERIFY(folder.linkPort(3, QStringLiteral("/dev/null")));
    }
    SerialComm port;
    QString description;
    const QString name = QStringLiteral("COM%1").arg(number);
    QCOMPARE(ErrorOf([&] { port.open(device, {}, name); }, &description), CommErr::PortNotExist);
    QVERIFY(!port.isOpen());
    QVERIFY2(description.contains(name), qPrintable(description));
  }

  void opensComLinkAndExchangesWithSimulator() {
    TempProgramFolder folder;
    SimProcess sim;
    QString why;
    const QString com1 = folder.filePath(QStringLiteral("COM1"));
    QVERIFY2(sim.start({QStringLiteral("--link"), com1}, &why), qPrintable(why));
    SerialComm port;
    QByteArray received;
    connect(&port, &SerialComm::dataReceived, this, [&](const QByteArray& data) { received += data; });
    port.open(com1, At(115200));
    QVERIFY(port.isOpen());
    QCOMPARE(port.openDevice(), sim.slavePath());

    port.write(QByteArray("00\r") + kHeaderFrame);
    QTRY_COMPARE_WITH_TIMEOUT(received, kAckCr, 5000);

    // The terminal stays usable when our end closes and opens again.
    port.close();
    QVERIFY(!port.isOpen());
    QVERIFY(port.openDevice().isEmpty());
    port.open(com1, At(115200));
    received.clear();
    port.write(kHeaderFrame);
    QTRY_COMPARE_WITH_TIMEOUT(received, kAckCr, 5000);
  }

  void eachArrivalIsDeliveredOnce() {
    DrivenPort rig;
    QVERIFY(rig.linked());
    rig.port.open(rig.com2(), {});
    QSignalSpy arrivals(&rig.port, &SerialComm::dataReceived);

    rig.device.send("\x06");
    QVERIFY(arrivals.wait(5000));
    QCOMPARE(arrivals.at(0).at(0).toByteArray(), QByteArray("\x06"));
    rig.device.send("\r");
    QVERIFY(arrivals.wait(5000));
    QCOMPARE(arrivals.size(), 2);
    QCOMPARE(arrivals.at(1).at(0).toByteArray(), QByteArray("\r"));
  }

  void discardDropsWhatWaits() {
    DrivenPort rig;
    QVERIFY(rig.linked());
    rig.port.open(rig.com2(), {});
    QSignalSpy arrivals(&rig.port, &SerialComm::dataReceived);
    rig.device.send("abc");
    QThread::msleep(50);  // in the terminal, not yet seen by the event loop
    rig.port.discardInput();
    QTest::qWait(100);
    QCOMPARE(arrivals.size(), 0);
  }

  void writeGoesOutWhole() {
    DrivenPort rig;
    QVERIFY(rig.linked());
    rig.port.open(rig.com2(), {});
    const QByteArray frame(";BI0708000060\r");
    rig.port.write(frame);
    QCOMPARE(rig.device.receive(frame.size()), frame);
  }

  void settingsApplyOnOpenAndAtOnceWhileOpen() {
    DrivenPort rig;
    QVERIFY(rig.linked());
    rig.port.open(rig.com2(), At(57600));
    QCOMPARE(rig.device.speed(), speed_t(B57600));
    rig.port.setLineSettings(At(4800));
    QCOMPARE(rig.device.speed(), speed_t(B4800));
  }

  void settingsTheDeviceRefusesKeepTheOldOnes() {
    DrivenPort rig;
    QVERIFY(rig.linked());
    auto& [folder, device, port] = rig;
    port.open(rig.com2(), At(19200));
    // A pseudo-terminal takes no parity and no data bits but 8.
    QCOMPARE(ErrorOf([&] { port.setLineSettings(At(38400, 'e')); }), CommErr::SetStateFailed);
    QVERIFY(port.isOpen());
    QCOMPARE(device.speed(), speed_t(B19200));

    // Refused at open: the port does not stay half open, and it is no "missing port".
    port.close();
    QCOMPARE(ErrorOf([&] { port.open(rig.com2(), At(9600, 'n', 7)); }), CommErr::SetStateFailed);
    QVERIFY(!port.isOpen());
  }

  void openPortRefusesASecondOpen() {
    TempProgramFolder folder;
    SimProcess sim;
    const QString com1 = folder.filePath(QStringLiteral("COM1"));
    QVERIFY(sim.start({QStringLiteral("--link"), com1}));
    SerialComm port;
    port.open(com1, {});
    QCOMPARE(ErrorOf([&] { port.open(com1, {}); }), CommErr::PortInUse);
    QVERIFY(port.isOpen());
  }

  void portHeldByAnotherHandleIs8005WhicheverNameOpensIt() {
    TempProgramFolder folder;
    SimProcess sim;
    const QString com1 = folder.filePath(QStringLiteral("COM1"));
    QVERIFY(sim.start({QStringLiteral("--link"), com1}));
    QVERIFY(folder.linkPort(4, com1));  // a second name
    SerialComm first;
    first.open(com1, {});
    for (const QString& name : {com1, folder.filePath(QStringLiteral("COM4"))}) {
      SerialComm second;
      QCOMPARE(ErrorOf([&] { second.open(name, {}); }), CommErr::PortInUse);
      QVERIFY(!second.isOpen());
    }
    first.close();
    SerialComm third;
    third.open(folder.filePath(QStringLiteral("COM4")), {});  // free again
  }

  void portHeldByAnotherProgramIs8005() {
    TempProgramFolder folder;
    SimProcess sim;
    const QString com1 = folder.filePath(QStringLiteral("COM1"));
    QVERIFY(sim.start({QStringLiteral("--link"), com1}));
    SimProcess holder;
    QString why;
    QVERIFY2(holder.start({QStringLiteral("--hold"), sim.slavePath()}, &why), qPrintable(why));
    QCOMPARE(holder.firstLine(), QStringLiteral("held ") + sim.slavePath());
    SerialComm port;
    QString description;
    QCOMPARE(ErrorOf([&] { port.open(com1, {}); }, &description), CommErr::PortInUse);
    QVERIFY2(description.contains(sim.slavePath()), qPrintable(description));
    // Its lock file names the process; the system, its program.
    QVERIFY2(description.endsWith(QStringLiteral("\nHeld by kestrel-sim (process %1).").arg(holder.pid())),
             qPrintable(description));
    holder.terminate();
    port.open(com1, {});
  }

  void permissionDeniedSaysWhoMayUseTheDevice() {
    if (::geteuid() == 0) QSKIP("root may open any device");
    DrivenPort rig;
    QVERIFY(rig.linked());
    QVERIFY(QFile::setPermissions(rig.device.slavePath(), QFileDevice::Permissions()));
    QString description;
    QCOMPARE(ErrorOf([&] { rig.port.open(rig.com2(), {}); }, &description),
             CommErr::PermissionDenied);
    QVERIFY2(description.contains(rig.device.slavePath()), qPrintable(description));
    // Nobody may use a node of mode 0000: no group to join is named.
    QVERIFY2(!description.contains(QStringLiteral("group")), qPrintable(description));
  }

  void unpluggedDeviceClosesPortAndNextOperationRaises8020() {
    TempProgramFolder folder;
    SimProcess sim;
    const QString com1 = folder.filePath(QStringLiteral("COM1"));
    QVERIFY(sim.start({QStringLiteral("--link"), com1, QStringLiteral("--unplug-after"),
                       QStringLiteral("2")}));
    SerialComm port;
    port.open(com1, {}, QStringLiteral("COM1"));
    QSignalSpy lost(&port, &SerialComm::lost);
    QByteArray received;
    connect(&port, &SerialComm::dataReceived, this, [&](const QByteArray& data) { received += data; });
    port.write(QByteArray("00\r") + kHeaderFrame);
    QVERIFY(lost.wait(5000));
    QCOMPARE(received, kAckCr);  // the answer before the unplug still arrives
    QVERIFY(!port.isOpen());
    QString description;
    QCOMPARE(ErrorOf([&] { port.write(kHeaderFrame); }, &description), CommErr::DeviceIoError);
    QVERIFY2(description.contains(QStringLiteral("COM1")), qPrintable(description));
    QCOMPARE(ErrorOf([&] { port.discardInput(); }), CommErr::DeviceIoError);
    // No storm of further losses while the event loop runs on.
    QTest::qWait(200);
    QCOMPARE(lost.size(), 1);
    // Closing is always possible and ends the error state.
    port.close();
    QCOMPARE(ErrorOf([&] { port.discardInput(); }), CommErr::PortNotOpen);
    QVERIFY(sim.waitForExit());
    QVERIFY(sim.reports().contains(QStringLiteral("unplugged after frame 2")));
  }

  void vanishedTerminalWhileIdleIsNoticed() {
    TempProgramFolder folder;
    auto device = std::make_unique<DevicePty>();
    QVERIFY(device->open(folder, 2));
    SerialComm port;
    port.open(folder.filePath(QStringLiteral("COM2")), {});
    QSignalSpy lost(&port, &SerialComm::lost);
    device.reset();  // both ends of the terminal go
    QVERIFY(lost.wait(5000));
    QVERIFY(!port.isOpen());
    QCOMPARE(ErrorOf([&] { port.discardInput(); }), CommErr::DeviceIoError);
  }
};

QTEST_GUILESS_MAIN(TestSerialCommPty)
#include "tst_serialcomm_pty.moc"
