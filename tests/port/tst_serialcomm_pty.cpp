// The serial-port control on real pseudo-terminals: the simulator's, or one the test drives.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
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
namespace CommEv = kestrel::CommEv;
using kestrel::test::DevicePty;
using kestrel::test::ErrorOf;
using kestrel::test::SimProcess;
using kestrel::test::TempProgramFolder;

namespace {

// A device terminal linked as COM2, and the port set to it, still closed.
struct DrivenPort {
  TempProgramFolder folder;
  DevicePty device;
  SerialComm port;

  bool linked() {
    port.setCommPort(2);
    return device.open(folder, 2);
  }
};

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
    int number = 3;
    if (entry.isEmpty()) {
      number = 255;
      if (QFile::exists(QStringLiteral("/dev/ttyS254"))) QSKIP("this system has /dev/ttyS254");
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
    port.setCommPort(number);
    QString description;
    QCOMPARE(ErrorOf([&] { port.setPortOpen(true); }, &description), CommErr::PortNotExist);
    QVERIFY(!port.PortOpen());
    QVERIFY2(description.contains(QStringLiteral("COM%1").arg(number)), qPrintable(description));
  }

  void opensComLinkAndExchangesWithSimulator() {
    TempProgramFolder folder;
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start({QStringLiteral("--link"), folder.filePath(QStringLiteral("COM1"))}, &why),
             qPrintable(why));
    SerialComm port;
    port.setRThreshold(1);
    port.setSettings(QStringLiteral("115200,n,8,1"));
    port.setPortOpen(true);
    QVERIFY(port.PortOpen());
    QCOMPARE(port.devicePath(), sim.slavePath());

    QList<int> events;
    QByteArray received;
    connect(&port, &SerialComm::OnComm, this, [&] {
      events << port.CommEvent();
      if (port.CommEvent() == CommEv::Receive) received += port.Input();
    });
    port.setOutput(QByteArray("00\r") + kHeaderFrame);
    QTRY_COMPARE_WITH_TIMEOUT(received, kAckCr, 5000);
    QVERIFY(events.contains(CommEv::Receive));
    QCOMPARE(port.InBufferCount(), 0);

    // The terminal stays usable when our end closes and opens again.
    port.setPortOpen(false);
    QVERIFY(!port.PortOpen());
    port.setPortOpen(true);
    received.clear();
    port.setOutput(kHeaderFrame);
    QTRY_COMPARE_WITH_TIMEOUT(received, kAckCr, 5000);
  }

  void receiveEventPerArrivalAndReadEmptiesBuffer() {
    DrivenPort rig;
    QVERIFY(rig.linked());
    auto& [folder, device, port] = rig;
    port.setRThreshold(1);
    port.setPortOpen(true);
    QSignalSpy events(&port, &SerialComm::OnComm);

    device.send("\x06");
    QVERIFY(events.wait(5000));
    QCOMPARE(port.CommEvent(), CommEv::Receive);
    QCOMPARE(port.InBufferCount(), 1);
    QCOMPARE(port.Input(), QByteArray("\x06"));
    QCOMPARE(port.Input(), QByteArray());  // nothing waits twice
    QCOMPARE(port.InBufferCount(), 0);

    // A second arrival is a second event.
    device.send("\r");
    QVERIFY(events.wait(5000));
    QCOMPARE(events.size(), 2);
    QCOMPARE(port.Input(), QByteArray("\r"));
  }

  void noReceiveEventWithThresholdZeroAndDiscardDropsWaiting() {
    DrivenPort rig;
    QVERIFY(rig.linked());
    auto& [folder, device, port] = rig;
    port.setPortOpen(true);
    QSignalSpy events(&port, &SerialComm::OnComm);
    device.send("abc");
    QTRY_COMPARE_WITH_TIMEOUT(port.InBufferCount(), 3, 5000);
    QCOMPARE(events.size(), 0);
    port.setInBufferCount(0);
    QCOMPARE(port.InBufferCount(), 0);
    QCOMPARE(port.Input(), QByteArray());
  }

  void outputGoesOutWholeAndSendEventComesLater() {
    DrivenPort rig;
    QVERIFY(rig.linked());
    auto& [folder, device, port] = rig;
    port.setSThreshold(1);
    port.setPortOpen(true);
    QSignalSpy events(&port, &SerialComm::OnComm);
    const QByteArray frame(";BI0708000060\r");
    port.setOutput(frame);
    QCOMPARE(events.size(), 0);  // never from inside the call
    QCOMPARE(device.receive(frame.size()), frame);
    QVERIFY(events.wait(5000));
    QCOMPARE(port.CommEvent(), CommEv::Send);
  }

  void settingsApplyOnOpenAndAtOnceWhileOpen() {
    DrivenPort rig;
    QVERIFY(rig.linked());
    auto& [folder, device, port] = rig;
    port.setSettings(QStringLiteral("57600,n,8,1"));
    port.setPortOpen(true);
    QCOMPARE(device.speed(), speed_t(B57600));
    port.setSettings(QStringLiteral(" 4800,N,8,1"));
    QCOMPARE(device.speed(), speed_t(B4800));
    QCOMPARE(port.Settings(), QStringLiteral("4800,n,8,1"));
  }

  void settingsTheDeviceRefusesKeepTheOldOnes() {
    DrivenPort rig;
    QVERIFY(rig.linked());
    auto& [folder, device, port] = rig;
    port.setSettings(QStringLiteral("19200,n,8,1"));
    port.setPortOpen(true);
    // A pseudo-terminal takes no parity and no data bits but 8.
    QCOMPARE(ErrorOf([&] { port.setSettings(QStringLiteral("38400,e,8,1")); }),
             CommErr::SetStateFailed);
    QVERIFY(port.PortOpen());
    QCOMPARE(port.Settings(), QStringLiteral("19200,n,8,1"));
    QCOMPARE(device.speed(), speed_t(B19200));

    // Refused at open: the port does not stay half open, and it is no "missing port".
    port.setPortOpen(false);
    port.setSettings(QStringLiteral("9600,n,7,1"));
    QCOMPARE(ErrorOf([&] { port.setPortOpen(true); }), CommErr::SetStateFailed);
    QVERIFY(!port.PortOpen());
  }

  void openPortRefusesAnotherNumberAndASecondOpen() {
    TempProgramFolder folder;
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--link"), folder.filePath(QStringLiteral("COM1"))}));
    SerialComm port;
    port.setPortOpen(true);
    QVERIFY(ErrorOf([&] { port.setCommPort(2); }) != 0);
    QCOMPARE(port.CommPort(), 1);
    QCOMPARE(ErrorOf([&] { port.setPortOpen(true); }), CommErr::PortInUse);
    QVERIFY(port.PortOpen());
  }

  void portHeldByAnotherHandleIs8005WhicheverNameOpensIt() {
    TempProgramFolder folder;
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--link"), folder.filePath(QStringLiteral("COM1"))}));
    QVERIFY(folder.linkPort(4, folder.filePath(QStringLiteral("COM1"))));  // a second name
    SerialComm first;
    first.setPortOpen(true);
    for (int number : {1, 4}) {
      SerialComm second;
      second.setCommPort(number);
      QCOMPARE(ErrorOf([&] { second.setPortOpen(true); }), CommErr::PortInUse);
      QVERIFY(!second.PortOpen());
    }
    first.setPortOpen(false);
    SerialComm third;
    third.setCommPort(4);
    third.setPortOpen(true);  // free again
  }

  void portHeldByAnotherProgramIs8005() {
    TempProgramFolder folder;
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--link"), folder.filePath(QStringLiteral("COM1"))}));
    SimProcess holder;
    QString why;
    QVERIFY2(holder.start({QStringLiteral("--hold"), sim.slavePath()}, &why), qPrintable(why));
    QCOMPARE(holder.firstLine(), QStringLiteral("held ") + sim.slavePath());
    SerialComm port;
    QString description;
    QCOMPARE(ErrorOf([&] { port.setPortOpen(true); }, &description), CommErr::PortInUse);
    QVERIFY2(description.contains(sim.slavePath()), qPrintable(description));
    holder.terminate();
    port.setPortOpen(true);
  }

  void permissionDeniedSaysWhoMayUseTheDevice() {
    if (::geteuid() == 0) QSKIP("root may open any device");
    TempProgramFolder folder;
    DevicePty device;
    QVERIFY(device.open(folder, 2));
    QVERIFY(QFile::setPermissions(device.slavePath(), QFileDevice::Permissions()));
    SerialComm port;
    port.setCommPort(2);
    QString description;
    QCOMPARE(ErrorOf([&] { port.setPortOpen(true); }, &description), CommErr::PermissionDenied);
    QVERIFY2(description.contains(device.slavePath()), qPrintable(description));
    // Nobody may use a node of mode 0000: no group to join is named.
    QVERIFY2(!description.contains(QStringLiteral("group")), qPrintable(description));
  }

  void unpluggedDeviceClosesPortAndNextOperationRaises8020() {
    TempProgramFolder folder;
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--link"), folder.filePath(QStringLiteral("COM1")),
                       QStringLiteral("--unplug-after"), QStringLiteral("2")}));
    SerialComm port;
    port.setRThreshold(1);
    port.setPortOpen(true);
    QSignalSpy lost(&port, &SerialComm::PortLost);
    QByteArray received;
    connect(&port, &SerialComm::OnComm, this, [&] {
      if (port.PortOpen() && port.CommEvent() == CommEv::Receive) received += port.Input();
    });
    port.setOutput(QByteArray("00\r") + kHeaderFrame);
    QVERIFY(lost.wait(5000));
    QCOMPARE(received, kAckCr);  // the answer before the unplug still arrives
    QVERIFY(!port.PortOpen());
    QString description;
    QCOMPARE(ErrorOf([&] { port.setOutput(kHeaderFrame); }, &description), CommErr::DeviceIoError);
    QVERIFY2(description.contains(QStringLiteral("COM1")), qPrintable(description));
    QCOMPARE(ErrorOf([&] { (void)port.Input(); }), CommErr::DeviceIoError);
    // No storm of further losses while the event loop runs on.
    QTest::qWait(200);
    QCOMPARE(lost.size(), 1);
    // Closing is always possible and ends the error state.
    port.setPortOpen(false);
    QCOMPARE(ErrorOf([&] { (void)port.Input(); }), CommErr::PortNotOpen);
    QVERIFY(sim.waitForExit());
    QVERIFY(sim.reports().contains(QStringLiteral("unplugged after frame 2")));
  }

  void vanishedTerminalWhileIdleIsNoticed() {
    TempProgramFolder folder;
    auto device = std::make_unique<DevicePty>();
    QVERIFY(device->open(folder, 2));
    SerialComm port;
    port.setCommPort(2);
    port.setPortOpen(true);
    QSignalSpy lost(&port, &SerialComm::PortLost);
    device.reset();  // both ends of the terminal go
    QVERIFY(lost.wait(5000));
    QVERIFY(!port.PortOpen());
    QCOMPARE(ErrorOf([&] { port.setInBufferCount(0); }), CommErr::DeviceIoError);
  }
};

QTEST_GUILESS_MAIN(TestSerialCommPty)
#include "tst_serialcomm_pty.moc"
