// The serial-port control on real pseudo-terminals: the simulator's, or one the test drives.
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest/QtTest>
#include <functional>
#include <memory>

#include "port/serialcomm.h"
#include "ptyhelper.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#if __has_include(<sys/sysmacros.h>)
#include <sys/sysmacros.h>  // makedev on Linux
#endif
#include <termios.h>
#include <unistd.h>

#include "simpty.h"
#endif

using kestrel::CommError;
using kestrel::SerialComm;
namespace CommErr = kestrel::CommErr;
namespace CommEv = kestrel::CommEv;
using kestrel::test::SimProcess;
using kestrel::test::TempProgramFolder;

namespace {

// The error number an action throws, or 0.
int ErrorOf(const std::function<void()>& action, QString* description = nullptr) {
  try {
    action();
  } catch (const CommError& e) {
    if (description) *description = e.description();
    return e.number();
  }
  return 0;
}

const QByteArray kHeaderFrame(";BB0000020001:?\r");
const QByteArray kAckCr("\x06\r", 2);

}  // namespace

class TestSerialComm : public QObject {
  Q_OBJECT

 private:
#ifdef Q_OS_UNIX
  // A terminal the test plays the device on, linked as COM<port> in the program folder.
  struct DrivenPty {
    kestrel::sim::PtyPair pty;
    bool open(TempProgramFolder& folder, int port) {
      QString error;
      return pty.open(&error) && folder.linkPort(port, pty.slavePath());
    }
    void send(const QByteArray& bytes) {
      QCOMPARE(::write(pty.masterFd(), bytes.constData(), size_t(bytes.size())),
               ssize_t(bytes.size()));
    }
    QByteArray receive(int count, int timeoutMs = 5000) {
      QByteArray got;
      QDeadlineTimer deadline(timeoutMs);
      while (got.size() < count && !deadline.hasExpired()) {
        QSocketNotifier notifier(pty.masterFd(), QSocketNotifier::Read);
        QSignalSpy ready(&notifier, &QSocketNotifier::activated);
        char buffer[256];
        const ssize_t n = ::read(pty.masterFd(), buffer, sizeof buffer);
        if (n > 0) {
          got += QByteArray(buffer, int(n));
          continue;
        }
        ready.wait(int(std::max<qint64>(1, deadline.remainingTime())));
      }
      return got;
    }
    speed_t speed() {
      termios tio{};
      tcgetattr(pty.masterFd(), &tio);
      return cfgetospeed(&tio);
    }
  };
#endif

 private slots:
  void startsOnPort1At9600n81Closed() {
    SerialComm port;
    QCOMPARE(port.CommPort(), 1);
    QCOMPARE(port.Settings(), QStringLiteral("9600,n,8,1"));
    QVERIFY(!port.PortOpen());
    QVERIFY(port.Tag.isEmpty());
  }

  void portNumbers_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("error");
    QTest::newRow("1") << 1 << 0;
    QTest::newRow("8") << 8 << 0;
    QTest::newRow("255") << 255 << 0;
    QTest::newRow("0") << 0 << CommErr::PortNotExist;
    QTest::newRow("-1") << -1 << CommErr::PortNotExist;
    QTest::newRow("256") << 256 << CommErr::PortNotExist;
    QTest::newRow("32767") << 32767 << CommErr::PortNotExist;
  }
  void portNumbers() {
    QFETCH(int, number);
    QFETCH(int, error);
    SerialComm port;
    port.setCommPort(4);
    QCOMPARE(ErrorOf([&] { port.setCommPort(number); }), error);
    QCOMPARE(port.CommPort(), error ? 4 : number);
  }

  void settingsTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("inForce");  // empty = refused
    QTest::newRow("stored form") << " 38400,N,8,1"
                                 << "38400,n,8,1";
    QTest::newRow("even 7 1.5") << "4800,E,7,1.5"
                                << "4800,e,7,1.5";
    QTest::newRow("mark 5 2") << "110,m,5,2"
                              << "110,m,5,2";
    QTest::newRow("space odd") << "115200,s,6,1"
                               << "115200,s,6,1";
    QTest::newRow("blanks around fields") << "9600 , o , 8 , 2"
                                          << "9600,o,8,2";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("three fields") << "9600,n,8"
                                  << "";
    QTest::newRow("five fields") << "9600,n,8,1,1"
                                 << "";
    QTest::newRow("parity x") << "9600,x,8,1"
                              << "";
    QTest::newRow("9 data bits") << "9600,n,9,1"
                                 << "";
    QTest::newRow("4 data bits") << "9600,n,4,1"
                                 << "";
    QTest::newRow("3 stop bits") << "9600,n,8,3"
                                 << "";
    QTest::newRow("negative rate") << "-9600,n,8,1"
                                   << "";
    QTest::newRow("rate 0") << "0,n,8,1"
                            << "";
    QTest::newRow("TCP") << "TCP"
                         << "";
  }
  void settingsTexts() {
    QFETCH(QString, text);
    QFETCH(QString, inForce);
    SerialComm port;
    port.setSettings(QStringLiteral("19200,n,8,1"));
    QCOMPARE(ErrorOf([&] { port.setSettings(text); }),
             inForce.isEmpty() ? CommErr::InvalidPropertyValue : 0);
    QCOMPARE(port.Settings(), inForce.isEmpty() ? QStringLiteral("19200,n,8,1") : inForce);
  }

  void portNameIsTheLinkInProgramFolderElseTtyS() {
    TempProgramFolder folder;
    QVERIFY(folder.isValid());
#ifdef Q_OS_WIN
    QCOMPARE(SerialComm::DevicePathForPort(3), QStringLiteral("COM3"));
#else
    QCOMPARE(SerialComm::DevicePathForPort(5), QStringLiteral("/dev/ttyS4"));
    // A link is followed to its device, through further links too.
    QFile target(folder.filePath(QStringLiteral("device")));
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.close();
    QVERIFY(QFile::link(folder.filePath(QStringLiteral("device")),
                        folder.filePath(QStringLiteral("by-id"))));
    QVERIFY(folder.linkPort(5, folder.filePath(QStringLiteral("by-id"))));
    QCOMPARE(SerialComm::DevicePathForPort(5),
             QFileInfo(folder.filePath(QStringLiteral("device"))).canonicalFilePath());
    // A dangling link is not skipped in favour of /dev/ttyS: it names a missing device.
    QVERIFY(folder.linkPort(6, QStringLiteral("/nonexistent/ttyUSB0")));
    QCOMPARE(SerialComm::DevicePathForPort(6), folder.filePath(QStringLiteral("COM6")));
#endif
  }

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
#ifndef Q_OS_UNIX
    QSKIP("device nodes are a POSIX matter");
#else
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
#endif
  }

  void opensComLinkAndExchangesWithSimulator() {
    KESTREL_REQUIRE_PTY();
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
#ifndef Q_OS_UNIX
    QSKIP("needs a pseudo-terminal");
#else
    KESTREL_REQUIRE_PTY();
    TempProgramFolder folder;
    DrivenPty device;
    QVERIFY(device.open(folder, 2));
    SerialComm port;
    port.setCommPort(2);
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
#endif
  }

  void noReceiveEventWithThresholdZeroAndDiscardDropsWaiting() {
#ifndef Q_OS_UNIX
    QSKIP("needs a pseudo-terminal");
#else
    KESTREL_REQUIRE_PTY();
    TempProgramFolder folder;
    DrivenPty device;
    QVERIFY(device.open(folder, 2));
    SerialComm port;
    port.setCommPort(2);
    port.setPortOpen(true);
    QSignalSpy events(&port, &SerialComm::OnComm);
    device.send("abc");
    QTRY_COMPARE_WITH_TIMEOUT(port.InBufferCount(), 3, 5000);
    QCOMPARE(events.size(), 0);
    port.setInBufferCount(0);
    QCOMPARE(port.InBufferCount(), 0);
    QCOMPARE(port.Input(), QByteArray());
#endif
  }

  void outputGoesOutWholeAndSendEventComesLater() {
#ifndef Q_OS_UNIX
    QSKIP("needs a pseudo-terminal");
#else
    KESTREL_REQUIRE_PTY();
    TempProgramFolder folder;
    DrivenPty device;
    QVERIFY(device.open(folder, 2));
    SerialComm port;
    port.setCommPort(2);
    port.setSThreshold(1);
    port.setPortOpen(true);
    QSignalSpy events(&port, &SerialComm::OnComm);
    const QByteArray frame(";BI0708000060\r");
    port.setOutput(frame);
    QCOMPARE(events.size(), 0);  // never from inside the call
    QCOMPARE(device.receive(frame.size()), frame);
    QVERIFY(events.wait(5000));
    QCOMPARE(port.CommEvent(), CommEv::Send);
#endif
  }

  void settingsApplyOnOpenAndAtOnceWhileOpen() {
#ifndef Q_OS_UNIX
    QSKIP("needs a pseudo-terminal");
#else
    KESTREL_REQUIRE_PTY();
    TempProgramFolder folder;
    DrivenPty device;
    QVERIFY(device.open(folder, 2));
    SerialComm port;
    port.setCommPort(2);
    port.setSettings(QStringLiteral("57600,n,8,1"));
    port.setPortOpen(true);
    QCOMPARE(device.speed(), speed_t(B57600));
    port.setSettings(QStringLiteral(" 4800,N,8,1"));
    QCOMPARE(device.speed(), speed_t(B4800));
    QCOMPARE(port.Settings(), QStringLiteral("4800,n,8,1"));
#endif
  }

  void settingsTheDeviceRefusesKeepTheOldOnes() {
#ifndef Q_OS_UNIX
    QSKIP("needs a pseudo-terminal");
#else
    KESTREL_REQUIRE_PTY();
    TempProgramFolder folder;
    DrivenPty device;
    QVERIFY(device.open(folder, 2));
    SerialComm port;
    port.setCommPort(2);
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
#endif
  }

  void operationsNeedAnOpenPort_data() {
    QTest::addColumn<int>("operation");
    QTest::newRow("InBufferCount") << 0;
    QTest::newRow("discard input") << 1;
    QTest::newRow("Input") << 2;
    QTest::newRow("Output") << 3;
  }
  void operationsNeedAnOpenPort() {
    QFETCH(int, operation);
    SerialComm port;
    const std::function<void()> actions[] = {
        [&] { (void)port.InBufferCount(); }, [&] { port.setInBufferCount(0); },
        [&] { (void)port.Input(); }, [&] { port.setOutput("00\r"); }};
    QCOMPARE(ErrorOf(actions[operation]), CommErr::PortNotOpen);
  }

  void openPortRefusesAnotherNumberAndASecondOpen() {
    KESTREL_REQUIRE_PTY();
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
    KESTREL_REQUIRE_PTY();
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
    KESTREL_REQUIRE_PTY();
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

  void permissionDeniedNamesDeviceGroupAndRemedy() {
#ifndef Q_OS_UNIX
    QSKIP("device permissions are a POSIX matter");
#else
    KESTREL_REQUIRE_PTY();
    if (::geteuid() == 0) QSKIP("root may open any device");
    TempProgramFolder folder;
    DrivenPty device;
    QVERIFY(device.open(folder, 2));
    QVERIFY(QFile::setPermissions(device.pty.slavePath(), QFileDevice::Permissions()));
    SerialComm port;
    port.setCommPort(2);
    QString description;
    QCOMPARE(ErrorOf([&] { port.setPortOpen(true); }, &description), CommErr::PermissionDenied);
    QVERIFY2(description.contains(device.pty.slavePath()), qPrintable(description));
    QVERIFY2(description.contains(kestrel::detail::DeviceGroup(device.pty.slavePath())),
             qPrintable(description));
    QVERIFY2(description.contains(QStringLiteral("log in again")), qPrintable(description));
#endif
  }

  void unpluggedDeviceClosesPortAndNextOperationRaises8020() {
    KESTREL_REQUIRE_PTY();
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
#ifndef Q_OS_UNIX
    QSKIP("needs a pseudo-terminal");
#else
    KESTREL_REQUIRE_PTY();
    TempProgramFolder folder;
    auto device = std::make_unique<DrivenPty>();
    QVERIFY(device->open(folder, 2));
    SerialComm port;
    port.setCommPort(2);
    port.setPortOpen(true);
    QSignalSpy lost(&port, &SerialComm::PortLost);
    device.reset();  // both ends of the terminal go
    QVERIFY(lost.wait(5000));
    QVERIFY(!port.PortOpen());
    QCOMPARE(ErrorOf([&] { port.setInBufferCount(0); }), CommErr::DeviceIoError);
#endif
  }
};

QTEST_GUILESS_MAIN(TestSerialComm)
#include "tst_serialcomm.moc"
