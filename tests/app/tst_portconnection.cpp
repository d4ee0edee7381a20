// Start-up, the Open/Close command and the port-state display.
#include <QDir>
#include <QtTest/QtTest>
#include <map>

#include "app/comports.h"
#include "app/portconnection.h"
#include "fakecommport.h"
#include "port/portnames.h"
#include "port/serialcomm.h"
#include "portstatusview.h"
#include "tempfolder.h"
#include "texts/usertexts.h"

using kestrel::CommError;
using kestrel::FormatLineSettings;
using kestrel::ParseLineSettings;
using kestrel::PortConnection;
using kestrel::PortSource;
namespace CommErr = kestrel::CommErr;
using kestrel::test::ErrorOf;
using kestrel::test::FakeCommPort;
using kestrel::test::TempProgramFolder;

namespace {

struct Message {
  QString text;
  QString title;
};

// A port connection over a fake port (or the real serial layer) with a recorded message box.
template <class Port = FakeCommPort>
struct Rig {
  Port port;
  QList<Message> messages;
  PortConnection connection{port,
                            [this](const QString& text, const QString& title) {
                              messages << Message{kestrel::texts::InMessageBox(text), title};
                            },
                            [this](const QString& device) {
                              if constexpr (std::is_same_v<Port, FakeCommPort>)
                                return port.exists(device);
                              else
                                return kestrel::SerialDeviceExists(device);
                            }};
  kestrel::test::PortStatusView display{connection.state()};
};

using Flags = std::array<bool, 8>;

}  // namespace

Q_DECLARE_METATYPE(Flags)

class TestPortConnection : public QObject {
  Q_OBJECT

 private slots:
  void portNumberText_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");
    QTest::newRow("3") << 3 << " 3";
    QTest::newRow("0") << 0 << " 0";
    QTest::newRow("255") << 255 << " 255";
    QTest::newRow("-1") << -1 << "-1";
    QTest::newRow("-32768") << -32768 << "-32768";
  }
  void portNumberText() {
    QFETCH(int, number);
    QFETCH(QString, text);
    QCOMPARE(kestrel::PortNumberText(number), text);
  }

  void portNameIsTheLinkInProgramFolderElseTtyS() {
    TempProgramFolder folder;
    QVERIFY(folder.isValid());
#ifdef Q_OS_WIN
    QCOMPARE(kestrel::ResolvePort(3).device, QStringLiteral("COM3"));
#else
    QCOMPARE(kestrel::ResolvePort(5).device, QStringLiteral("/dev/ttyS4"));
    // A link is followed to its device, through further links too.
    QFile target(folder.filePath(QStringLiteral("device")));
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.close();
    QVERIFY(QFile::link(folder.filePath(QStringLiteral("device")),
                        folder.filePath(QStringLiteral("by-id"))));
    QVERIFY(folder.linkPort(5, folder.filePath(QStringLiteral("by-id"))));
    QCOMPARE(kestrel::ResolvePort(5).device,
             QFileInfo(folder.filePath(QStringLiteral("device"))).canonicalFilePath());
    // A dangling link is not skipped in favour of /dev/ttyS: it names a missing device.
    QVERIFY(folder.linkPort(6, QStringLiteral("/nonexistent/ttyUSB0")));
    QCOMPARE(kestrel::ResolvePort(6).device, folder.filePath(QStringLiteral("COM6")));
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
    QCOMPARE(target.shown(), inFolder(device));
    // A regular file is no serial device: COM 3 does not exist, whatever named it.
    kestrel::SerialComm port;
    PortConnection connection(port);
    connection.setComNumber(3);
    if (source != int(PortSource::Default)) {
      connection.refreshPortAvailability();
      QVERIFY(!connection.PortAvailable[2]);
      QCOMPARE(ErrorOf([&] { connection.ensureOpen(); }), CommErr::PortNotExist);
    }
    if (source != int(PortSource::Default) && QFile::exists(target.device))
      QCOMPARE(kestrel::PortsUsingDevice(target.device), QList<int>{3});
  }
#else
  // [Devices] gives a COM number another port's name; a path names no port.
  void windowsAssignments_data() {
    QTest::addColumn<QString>("assignment");  // COM3 in [Devices]
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("device");  // empty: no usable device
    QTest::newRow("another COM name") << "COM12" << int(PortSource::Assignment) << "COM12";
    QTest::newRow("device namespace") << "\\\\.\\COM12" << int(PortSource::Assignment) << "COM12";
    QTest::newRow("a file path") << "C:\\ports\\COM12" << int(PortSource::Assignment) << "";
    QTest::newRow("cleared") << "" << int(PortSource::Default) << "COM3";
  }
  void windowsAssignments() {
    QFETCH(QString, assignment);
    QFETCH(int, source);
    QFETCH(QString, device);
    TempProgramFolder folder;
    QVERIFY(folder.writeIni({"[Devices]", "COM3=" + assignment}));
    const kestrel::PortTarget target = kestrel::ResolvePort(3);
    QCOMPARE(int(target.source), source);
    QCOMPARE(target.device, device);
    if (!device.isEmpty() && source == int(PortSource::Assignment))
      QCOMPARE(kestrel::PortsUsingDevice(QStringLiteral("com12")), (QList<int>{3, 12}));
  }
#endif

  void startupScanMarksOnlyExistingPortsAndOpensTheConfiguredOne() {
    TempProgramFolder folder;
    QVERIFY(folder.writeIni({"[SerialPort]", "CommPort= 5", "Baud= 38400,N,8,1"}));
    Rig rig;
    rig.port.missingPorts = {1, 3, 4, 6, 7, 8};
    rig.connection.setTcpIpMode(true);
    rig.connection.startUp();

    QCOMPARE(rig.connection.PortAvailable,
             (Flags{false, true, false, false, true, false, false, false}));
    QVERIFY(!rig.connection.state().tcpIpMode());
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.connection.state().comNumber(), 5);
    QCOMPARE(FormatLineSettings(rig.port.lineSettings()), QStringLiteral("38400,n,8,1"));
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port opened"));
    QCOMPARE(rig.display.panelText(2), QStringLiteral("COM  5"));
    QCOMPARE(rig.display.panelText(3), QStringLiteral("38400,n,8,1"));
    QCOMPARE(rig.display.caption(), QStringLiteral("Close"));
    QVERIFY(!rig.display.portMenusEnabled());
    QCOMPARE(rig.messages.size(), 0);
    // The scan opened no port; the configured settings came after it.
    QCOMPARE(rig.port.settingsApplied,
             QList<kestrel::LineSettings>{*ParseLineSettings("38400,n,8,1")});
    QCOMPARE(rig.port.openedPorts, QList<int>{5});
    QCOMPARE(rig.port.closeCount, 0);
  }

  void startupWithUnusableCommPortKeepsLastScannedPort_data() {
    QTest::addColumn<QStringList>("ini");
    QTest::addColumn<QString>("panel2");
    QTest::addColumn<QString>("settings");
    QTest::newRow("no settings file") << QStringList{} << "COM  8"
                                      << "9600,n,8,1";
    QTest::newRow("TCP") << QStringList{"[SerialPort]", "CommPort=TCP", "Baud= 19200,N,8,1"}
                         << "COM  8"
                         << "19200,n,8,1";
    QTest::newRow("99999") << QStringList{"[SerialPort]", "CommPort=99999", "Baud= 57600,N,8,1"}
                           << "COM  8"
                           << "57600,n,8,1";
    QTest::newRow("negative") << QStringList{"[SerialPort]", "CommPort=-2"} << "COM  8"
                              << "9600,n,8,1";
    QTest::newRow("refused baud text")
        << QStringList{"[SerialPort]", "CommPort= 2", "Baud=fast"} << "COM  2"
        << "9600,n,8,1";
  }
  void startupWithUnusableCommPortKeepsLastScannedPort() {
    QFETCH(QStringList, ini);
    QFETCH(QString, panel2);
    QFETCH(QString, settings);
    TempProgramFolder folder;
    if (!ini.isEmpty()) QVERIFY(folder.writeIni(ini));
    Rig rig;
    rig.connection.startUp();
    // Port 2 when the file names it; otherwise the number was refused and the scan's last
    // port, 8, stays in force, is opened and is the one panel 2 names.
    QCOMPARE(rig.port.port(), panel2 == QLatin1String("COM  2") ? 2 : 8);
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.display.panelText(2), panel2);
    QCOMPARE(rig.display.panelText(3), settings);
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port opened"));
    QCOMPARE(rig.connection.PortAvailable, (Flags{true, true, true, true, true, true, true, true}));
    QVERIFY(!rig.connection.state().tcpIpMode());
    QCOMPARE(rig.messages.size(), 0);
  }

  void startupOnHeldPortComesUpClosedWithoutMessage() {
    TempProgramFolder folder;
    QVERIFY(folder.writeIni({"[SerialPort]", "CommPort= 3", "Baud= 115200,N,8,1"}));
    Rig rig;
    rig.port.heldPorts = {3};
    rig.connection.startUp();
    QVERIFY(rig.connection.PortAvailable[2]);  // held is not missing
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port closed"));
    QCOMPARE(rig.display.panelText(2), QStringLiteral("COM  3"));
    QCOMPARE(rig.display.panelText(3), QStringLiteral("115200,n,8,1"));
    QCOMPARE(rig.display.caption(), QStringLiteral("Open"));
    QVERIFY(rig.display.portMenusEnabled());
    QCOMPARE(rig.messages.size(), 0);
  }

  void startupOtherScanFailuresLeavePortsAvailable() {
    TempProgramFolder folder;
    Rig rig;
    rig.port.openErrors = {{4, CommErr::PermissionDenied}, {6, CommErr::Other}};
    rig.port.missingPorts = {7};
    rig.connection.startUp();
    QCOMPARE(rig.connection.PortAvailable,
             (Flags{true, true, true, true, true, true, false, true}));
    QCOMPARE(rig.messages.size(), 0);
  }

  void openWhileHeldShowsPortErrorAndKeepsDisplay() {
    TempProgramFolder folder;
    QVERIFY(folder.writeIni({"[SerialPort]", "CommPort= 1"}));
    Rig rig;
    rig.port.heldPorts = {1};
    rig.connection.startUp();
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port closed"));
    rig.connection.openOrClose();
    QCOMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text, QStringLiteral("Port is used by other aplication"));
    QCOMPARE(rig.messages[0].title, QStringLiteral("Port Error"));
    QCOMPARE(rig.display.caption(), QStringLiteral("Open"));
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port closed"));
    QVERIFY(rig.display.portMenusEnabled());
  }

  void openFailuresTellTheUser_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("missing port") << CommErr::PortNotExist
                                  << "Serial port cannot be opened. Check setting.\r/dev/fake1";
    QTest::newRow("permission") << CommErr::PermissionDenied << "Scripted open failure 8100";
    QTest::newRow("other") << CommErr::Other << "Scripted open failure 8021";
  }
  void openFailuresTellTheUser() {
    QFETCH(int, error);
    QFETCH(QString, text);
    Rig rig;
    if (error == CommErr::PortNotExist)
      rig.port.missingPorts = {1};
    else
      rig.port.openErrors = {{1, error}};
    rig.connection.openOrClose();
    QCOMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text, text);
    QCOMPARE(rig.messages[0].title, QString());  // the application title
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(rig.display.caption(), QStringLiteral("Open"));
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Not connected"));
  }

  void openThenCloseShowEachState() {
    Rig rig;
    rig.connection.openOrClose();
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.display.caption(), QStringLiteral("Close"));
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port opened"));
    QVERIFY(!rig.display.portMenusEnabled());
    rig.connection.openOrClose();
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(rig.display.caption(), QStringLiteral("Open"));
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port closed"));
    QVERIFY(rig.display.portMenusEnabled());
    QCOMPARE(rig.messages.size(), 0);
  }

  void openPortAndShowState_data() {
    QTest::addColumn<bool>("openBefore");
    QTest::addColumn<int>("opens");
    QTest::newRow("already open: redraw only") << true << 1;
    QTest::newRow("closed and free: opens") << false << 1;
  }
  void openPortAndShowState() {
    QFETCH(bool, openBefore);
    QFETCH(int, opens);
    Rig rig;
    if (openBefore) rig.port.open(QStringLiteral("/dev/ttyS0"), {});
    rig.connection.ensureOpen();
    QCOMPARE(rig.port.openCount, opens);
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port opened"));
    QCOMPARE(rig.display.caption(), QStringLiteral("Close"));
    QVERIFY(!rig.display.portMenusEnabled());
  }

  void openPortAndShowStateLetsFailureThrough() {
    Rig rig;
    rig.port.heldPorts = {1};
    try {
      rig.connection.ensureOpen();
      QFAIL("no error");
    } catch (const CommError& e) {
      QCOMPARE(e.number(), CommErr::PortInUse);
    }
    QCOMPARE(rig.display.caption(), QStringLiteral("Open"));
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Not connected"));
    QCOMPARE(rig.messages.size(), 0);
  }

  // A first start lands on COM 8, which seldom exists: the hint names what to use instead,
  // and goes once a port is chosen.
  void firstStartWithoutItsPortSaysWhatWasFound_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("devices");  // ttyUSB and ttyACM ones are USB adapters
    QTest::addColumn<QString>("hint");
    const QByteArray none;
    QTest::newRow("one adapter beside a built-in port")
        << none << QStringList{"/dev/ttyS0", "/dev/ttyUSB0"}
        << "Found /dev/ttyUSB0: Comm > Port to use it";
    QTest::newRow("built-in port only") << none << QStringList{"/dev/ttyS0"} << "Found /dev/ttyS0:";
    QTest::newRow("none") << none << QStringList{} << "No serial adapter found";
    QTest::newRow("two adapters") << none << QStringList{"/dev/ttyUSB0", "/dev/ttyACM0"}
                                  << "Found 2 ";
    QTest::newRow("port chosen before") << QByteArray("[SerialPort]\r\nCommPort= 8\r\n")
                                        << QStringList{"/dev/ttyUSB0"} << QString();
  }
  void firstStartWithoutItsPortSaysWhatWasFound() {
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, devices);
    QFETCH(QString, hint);
    TempProgramFolder folder;
    if (!ini.isNull()) QVERIFY(folder.writeIni(ini));
    Rig rig;
    rig.port.missingPorts = {8};
    rig.connection.listDevices = [&] {
      QList<kestrel::SerialDevice> found;
      for (const QString& device : devices)
        found.append({device, {}, {}, {}, {}, !device.startsWith(QLatin1String("/dev/ttyS"))});
      return found;
    };
    rig.connection.startUp();
    const QString shown = QDir::fromNativeSeparators(rig.connection.state().startHint());
    QVERIFY2(hint.isEmpty() ? shown.isEmpty() : shown.startsWith(hint), qPrintable(shown));
    rig.connection.changePort(3, 8);
    QVERIFY(rig.connection.state().startHint().isEmpty());
  }

  // A typo in [Devices] must not send the logo to the link or the built-in port instead.
  void unusableAssignmentIsAMissingPortNamedAsWritten() {
    TempProgramFolder folder;
    QVERIFY(folder.writeIni({"[SerialPort]", "CommPort= 1", "[Devices]", "COM1=../x"}));
    Rig<kestrel::SerialComm> rig;
    rig.connection.startUp();
    QVERIFY(!rig.connection.PortAvailable[0]);
    QVERIFY(!rig.port.isOpen());
    rig.connection.openOrClose();
    QCOMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text,
             QStringLiteral("Serial port cannot be opened. Check setting.\r../x"));
    QVERIFY(!rig.port.isOpen());
    QVERIFY2(rig.connection.portToolTip().startsWith(QStringLiteral("../x  (")),
             qPrintable(rig.connection.portToolTip()));
  }

  void vanishedDeviceShowsClosedState() {
    Rig rig;
    rig.connection.openOrClose();
    rig.port.simulateLoss();
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port closed"));
    QCOMPARE(rig.display.caption(), QStringLiteral("Open"));
    QVERIFY(rig.display.portMenusEnabled());
  }
};

QTEST_GUILESS_MAIN(TestPortConnection)
#include "tst_portconnection.moc"
