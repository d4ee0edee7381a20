// The serial-port control without a device: numbers, line-settings texts, port names.
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest/QtTest>
#include <functional>
#include <memory>

#include "fakecommport.h"
#include "port/portnames.h"
#include "port/serialcomm.h"
#include "tempfolder.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using kestrel::CommError;
using kestrel::PortSource;
using kestrel::SerialComm;
namespace CommErr = kestrel::CommErr;
namespace CommEv = kestrel::CommEv;
using kestrel::test::ErrorOf;
using kestrel::test::TempProgramFolder;

class TestSerialComm : public QObject {
  Q_OBJECT

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

#ifndef Q_OS_WIN
  void resolutionOrder_data() {
    QTest::addColumn<QString>("assignment");  // COM3 in [Devices]; "-" for no entry
    QTest::addColumn<bool>("link");           // COM3 in the folder links to "linked"
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("device");  // what COM3 stands for; "@name": that file in the folder
    QTest::newRow("assignment first")
        << "@assigned" << true << int(PortSource::Assignment) << "@assigned";
    QTest::newRow("then the folder entry")
        << "-" << true << int(PortSource::FolderEntry) << "@linked";
    QTest::newRow("then the default") << "-" << false << int(PortSource::Default) << "/dev/ttyS2";
    // An assigned device that is absent is a missing port, not a reason to try the link.
    QTest::newRow("absent assigned device")
        << "/nonexistent/usb-adapter" << true << int(PortSource::Assignment)
        << "/nonexistent/usb-adapter";
    QTest::newRow("bare name is a /dev node")
        << "ttyUSB77" << false << int(PortSource::Assignment) << "/dev/ttyUSB77";
    QTest::newRow("cleared") << "" << true << int(PortSource::FolderEntry) << "@linked";
    // A value that names no device makes a missing port too, named as written: it used to be
    // ignored, sending the logo to the link or the built-in port instead.
    QTest::newRow("relative path")
        << "dev/ttyUSB0" << true << int(PortSource::Assignment) << "dev/ttyUSB0";
    QTest::newRow("tab inside") << "/dev/tty\tUSB0" << true << int(PortSource::Assignment)
                                << "/dev/tty\tUSB0";
    QTest::newRow("dot dot") << ".." << false << int(PortSource::Assignment) << "..";
  }
  void resolutionOrder() {
    QFETCH(QString, assignment);
    QFETCH(bool, link);
    QFETCH(int, source);
    QFETCH(QString, device);
    TempProgramFolder folder;
    for (const char* name : {"assigned", "linked"})
      QVERIFY(kestrel::test::WriteBytes(folder.filePath(QLatin1String(name)), "x"));
    const auto inFolder = [&](const QString& name) {
      return name.startsWith(QLatin1Char('@')) ? folder.filePath(name.mid(1)) : name;
    };
    if (assignment != QLatin1String("-"))
      QVERIFY(folder.writeIni(
          {"[SerialPort]", "CommPort= 3", "[Devices]", "COM3=" + inFolder(assignment)}));
    if (link) QVERIFY(folder.linkPort(3, folder.filePath(QStringLiteral("linked"))));

    const kestrel::PortTarget target = kestrel::ResolvePort(3);
    QCOMPARE(int(target.source), source);
    QCOMPARE(SerialComm::DevicePathForPort(3), inFolder(device));
    // A regular file is no serial device: COM 3 does not exist, whatever named it.
    SerialComm port;
    port.setCommPort(3);
    if (source != int(PortSource::Default)) {
      QVERIFY(!port.PortExists(3));
      QCOMPARE(ErrorOf([&] { port.setPortOpen(true); }), CommErr::PortNotExist);
    }
    if (source != int(PortSource::Default) && QFile::exists(target.device))
      QCOMPARE(SerialComm::AssignedComNumbers(target.device), QList<int>{3});
  }
#endif

#ifdef Q_OS_LINUX
  void sysfsTellsSerialPortsWithoutOpening_data() {
    QTest::addColumn<QString>("node");  // under devices/, as sysfs/dev/char/4:N links it
    QTest::addColumn<QString>("subsystem");
    QTest::addColumn<QString>("type");  // serial core's type attribute; "-" for none
    QTest::addColumn<int>("exists");    // 1, 0, or -1 for "cannot tell"
    QTest::newRow("UART") << "serial8250/tty/ttyS0"
                          << "tty"
                          << "4" << 1;
    QTest::newRow("no UART behind it") << "serial8250/tty/ttyS1"
                                       << "tty"
                                       << "0" << 0;
    QTest::newRow("USB adapter") << "usb1/1-1/ttyUSB0/tty/ttyUSB0"
                                 << "tty"
                                 << "-" << 1;
    QTest::newRow("not a terminal") << "virtual/mem/null"
                                    << "mem"
                                    << "-" << 0;
    QTest::newRow("no entry: pseudo-terminal") << ""
                                               << ""
                                               << "-" << -1;
  }
  void sysfsTellsSerialPortsWithoutOpening() {
    QFETCH(QString, node);
    QFETCH(QString, subsystem);
    QFETCH(QString, type);
    QFETCH(int, exists);
    QTemporaryDir sys;
    QDir root(sys.path());
    if (!node.isEmpty()) {
      QVERIFY(root.mkpath(QStringLiteral("devices/") + node));
      QVERIFY(root.mkpath(QStringLiteral("class/") + subsystem));
      QVERIFY(root.mkpath(QStringLiteral("dev/char")));
      const QString folder = root.filePath(QStringLiteral("devices/") + node);
      QVERIFY(QFile::link(root.filePath(QStringLiteral("class/") + subsystem),
                          folder + QStringLiteral("/subsystem")));
      if (type != QLatin1String("-"))
        QVERIFY(
            kestrel::test::WriteBytes(folder + QStringLiteral("/type"), type.toLatin1() + "\n"));
      QVERIFY(QFile::link(folder, root.filePath(QStringLiteral("dev/char/4:65"))));
    }
    const std::optional<bool> got = kestrel::detail::TtyInSysfs(sys.path(), 4, 65);
    QCOMPARE(got.has_value(), exists >= 0);
    if (got) QCOMPARE(*got, exists == 1);
  }
#endif

#ifdef Q_OS_UNIX
  void permissionHintNamesOnlyWhoMayUseTheDevice_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("rootGroup");  // the node's group is root's
    QTest::addColumn<bool>("userNamed");
    QTest::addColumn<bool>("groupNamed");
    QTest::newRow("0600 root:root") << 0600 << true << true << false;
    QTest::newRow("0660 root group") << 0660 << true << true << false;
    QTest::newRow("0660 other group") << 0660 << false << true << true;
    QTest::newRow("0640 other group") << 0640 << false << true << false;
    QTest::newRow("0000") << 0000 << false << false << false;
  }
  void permissionHintNamesOnlyWhoMayUseTheDevice() {
    QFETCH(int, mode);
    QFETCH(bool, rootGroup);
    QFETCH(bool, userNamed);
    QFETCH(bool, groupNamed);
    TempProgramFolder folder;
    const QString node = folder.filePath(QStringLiteral("ttyUSB0"));
    QVERIFY(kestrel::test::WriteBytes(node, ""));
    const QByteArray native = QFile::encodeName(node);
    // Only root may give a file to root's group or to one it is not in.
    const gid_t group = rootGroup ? 0 : (::getegid() != 0 ? ::getegid() : 5);
    if (::chown(native.constData(), uid_t(-1), group) != 0) QSKIP("cannot set the node's group");
    QVERIFY(::chmod(native.constData(), mode_t(mode)) == 0);
    const kestrel::detail::DeviceUsers users = kestrel::detail::WhoMayUse(node);
    QCOMPARE(!users.user.isEmpty(), userNamed);
    QCOMPARE(!users.group.isEmpty(), groupNamed);
    QVERIFY(users.group != QLatin1String("root"));
  }
#endif

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
};

QTEST_GUILESS_MAIN(TestSerialComm)
#include "tst_serialcomm.moc"
