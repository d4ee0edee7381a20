// The serial-port control without a device: numbers, line-settings texts, port names.
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest/QtTest>
#include <functional>
#include <memory>

#include "fakecommport.h"
#include "port/commsettings.h"
#include "port/portnames.h"
#include "port/serialcomm.h"
#include "tempfolder.h"
#include "texts/usertexts.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

using kestrel::CommError;
using kestrel::SerialComm;
namespace CommErr = kestrel::CommErr;
using kestrel::test::ErrorOf;
using kestrel::test::TempProgramFolder;

#ifdef Q_OS_WIN
namespace {
bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
}  // namespace
#endif

class TestSerialComm : public QObject {
  Q_OBJECT

 private slots:
  void startsClosed() {
    SerialComm port;
    QVERIFY(!port.isOpen());
    QVERIFY(port.openDevice().isEmpty());
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
    const std::optional<kestrel::LineSettings> parsed = kestrel::ParseLineSettings(text);
    QCOMPARE(parsed ? kestrel::FormatLineSettings(*parsed) : QString(), inForce);
  }

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

#ifdef Q_OS_WIN
  // The system's list says so without an open: the same number and text as on Linux.
  void missingWindowsPortIs8002() {
    SerialComm port;
    QVERIFY(!kestrel::SerialDeviceExists(QStringLiteral("COM201")));
    try {
      port.open(QStringLiteral("COM201"), {}, QStringLiteral("COM201"));
      QFAIL("a missing port opened");
    } catch (const CommError& e) {
      QCOMPARE(e.number(), CommErr::PortNotExist);
      QCOMPARE(kestrel::texts::CommErrorText(e),
               QStringLiteral("The serial port COM201 does not exist."));
    }
  }

  // A real port: check-windows points Wine's COM1 at the simulator and names it here.
  void heldWindowsPortIs8005AndStillListed() {
    const QString name = qEnvironmentVariable("KESTREL_TEST_COM_PORT");
    if (name.isEmpty()) QSKIP("no COM port to use (KESTREL_TEST_COM_PORT)");
    SerialComm holder;
    holder.open(name, {}, name);

    const QList<kestrel::SerialDevice> listed = kestrel::DetectedSerialDevices();
    QVERIFY(std::any_of(listed.begin(), listed.end(), [&](const kestrel::SerialDevice& d) {
      return d.device.compare(name, Qt::CaseInsensitive) == 0;
    }));
    QVERIFY(kestrel::SerialDeviceExists(name));
    SerialComm second;
    QString refusal;
    try {
      second.open(name, {}, QStringLiteral("COM3"));
    } catch (const CommError& e) {
      QCOMPARE(e.number(), CommErr::PortInUse);
      refusal = kestrel::texts::CommErrorText(e);
    }
    if (refusal.isEmpty() && UnderWine()) {
      second.close();
      QSKIP("Wine lets a second program open a port that is open; Windows refuses it");
    }
    QCOMPARE(refusal,
             QStringLiteral("The serial port COM3 (%1) is used by another program.").arg(name));
    holder.close();
    second.open(name, {}, QStringLiteral("COM3"));
    QVERIFY(second.isOpen());
  }
#endif

  void operationsNeedAnOpenPort_data() {
    QTest::addColumn<int>("operation");
    QTest::newRow("discard input") << 0;
    QTest::newRow("write") << 1;
    QTest::newRow("line settings") << 2;
  }
  void operationsNeedAnOpenPort() {
    QFETCH(int, operation);
    SerialComm port;
    const std::function<void()> actions[] = {[&] { port.discardInput(); },
                                             [&] { port.write("00\r"); },
                                             [&] { port.setLineSettings({}); }};
    QCOMPARE(ErrorOf(actions[operation]), CommErr::PortNotOpen);
  }
};

QTEST_GUILESS_MAIN(TestSerialComm)
#include "tst_serialcomm.moc"
