// Start-up, the Open/Close command and the port-state display.
#include <QtTest/QtTest>
#include <map>

#include "app/portconnection.h"
#include "fakecommport.h"
#include "fakeportdisplay.h"
#include "port/serialcomm.h"
#include "tempfolder.h"

using kestrel::CommError;
using kestrel::PortConnection;
namespace CommErr = kestrel::CommErr;
using kestrel::test::FakeCommPort;
using kestrel::test::TempProgramFolder;

namespace {

using FakeDisplay = kestrel::test::FakePortDisplay;

struct Message {
  QString text;
  QString title;
};

// A port connection over a fake port (or the real serial layer) with a recorded message box.
template <class Port = FakeCommPort>
struct Rig {
  Port port;
  FakeDisplay display;
  QList<Message> messages;
  PortConnection connection{port, display, [this](const QString& text, const QString& title) {
                              messages << Message{text, title};
                            }};
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

  void commPortTextToNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");  // -99999 = conversion fails
    QTest::newRow("stored form") << " 3" << 3;
    QTest::newRow("plain") << "5" << 5;
    QTest::newRow("TCP") << "TCP" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("trailing letters") << "7abc" << 7;
    QTest::newRow("blank inside the number") << "1 2" << 12;
    QTest::newRow("tab and line feed") << "\t4\n" << 4;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("plus sign") << "+6" << 6;
    QTest::newRow("half rounds to even, down") << "2.5" << 2;
    QTest::newRow("half rounds to even, up") << "3.5" << 4;
    QTest::newRow("negative half") << "-2.5" << -2;
    QTest::newRow("above half") << "2.51" << 3;
    QTest::newRow("fraction only") << ".6" << 1;
    QTest::newRow("exponent") << "1e1" << 10;
    QTest::newRow("exponent without digits") << "4e" << 4;
    QTest::newRow("lone sign") << "-" << 0;
    QTest::newRow("largest") << "32767" << 32767;
    QTest::newRow("smallest") << "-32768" << -32768;
    QTest::newRow("rounds past the largest") << "32767.5" << -99999;
    QTest::newRow("just too large") << "32768" << -99999;
    QTest::newRow("99999") << "99999" << -99999;
    QTest::newRow("too small") << "-32769" << -99999;
    QTest::newRow("huge exponent") << "1e999" << -99999;
  }
  void commPortTextToNumber() {
    QFETCH(QString, text);
    QFETCH(int, number);
    const std::optional<int> got = kestrel::CommPortNumberFromText(text);
    if (number == -99999)
      QVERIFY(!got);
    else
      QCOMPARE(got, std::optional<int>(number));
  }

  void startupScanMarksOnlyExistingPortsAndOpensTheConfiguredOne() {
    TempProgramFolder folder;
    QVERIFY(folder.writeIni({"[SerialPort]", "CommPort= 5", "Baud= 38400,N,8,1"}));
    Rig rig;
    rig.port.missingPorts = {1, 3, 4, 6, 7, 8};
    rig.connection.TcpIpMode = true;
    rig.connection.FormLoad();

    QCOMPARE(rig.connection.PortAvailable,
             (Flags{false, true, false, false, true, false, false, false}));
    QVERIFY(!rig.connection.TcpIpMode);
    QVERIFY(rig.port.PortOpen());
    QCOMPARE(rig.port.CommPort(), 5);
    QCOMPARE(rig.port.Settings(), QStringLiteral("38400,n,8,1"));
    QCOMPARE(rig.port.InputLen(), 0);
    QCOMPARE(rig.port.RThreshold(), 1);
    QCOMPARE(rig.port.SThreshold(), 1);
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port opened"));
    QCOMPARE(rig.display.panelText(2), QStringLiteral("COM  5"));
    QCOMPARE(rig.display.panelText(3), QStringLiteral("38400,n,8,1"));
    QCOMPARE(rig.display.caption, QStringLiteral("Close"));
    QVERIFY(!rig.display.portMenusEnabled);
    QCOMPARE(rig.messages.size(), 0);
    // The scan opened no port; the configured settings came after it.
    QCOMPARE(rig.port.settingsApplied, QStringList{QStringLiteral(" 38400,N,8,1").trimmed()});
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
    rig.connection.FormLoad();
    // Port 2 when the file names it; otherwise the number was refused and the scan's last
    // port, 8, stays in force, is opened and is the one panel 2 names.
    QCOMPARE(rig.port.CommPort(), panel2 == QLatin1String("COM  2") ? 2 : 8);
    QVERIFY(rig.port.PortOpen());
    QCOMPARE(rig.display.panelText(2), panel2);
    QCOMPARE(rig.display.panelText(3), settings);
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port opened"));
    QCOMPARE(rig.connection.PortAvailable, (Flags{true, true, true, true, true, true, true, true}));
    QVERIFY(!rig.connection.TcpIpMode);
    QCOMPARE(rig.messages.size(), 0);
  }

  void startupOnHeldPortComesUpClosedWithoutMessage() {
    TempProgramFolder folder;
    QVERIFY(folder.writeIni({"[SerialPort]", "CommPort= 3", "Baud= 115200,N,8,1"}));
    Rig rig;
    rig.port.heldPorts = {3};
    rig.connection.FormLoad();
    QVERIFY(rig.connection.PortAvailable[2]);  // held is not missing
    QVERIFY(!rig.port.PortOpen());
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port closed"));
    QCOMPARE(rig.display.panelText(2), QStringLiteral("COM  3"));
    QCOMPARE(rig.display.panelText(3), QStringLiteral("115200,n,8,1"));
    QCOMPARE(rig.display.caption, QStringLiteral("Open"));
    QVERIFY(rig.display.portMenusEnabled);
    QCOMPARE(rig.messages.size(), 0);
  }

  void startupOtherScanFailuresLeavePortsAvailable() {
    TempProgramFolder folder;
    Rig rig;
    rig.port.openErrors = {{4, CommErr::PermissionDenied}, {6, CommErr::Other}};
    rig.port.missingPorts = {7};
    rig.connection.FormLoad();
    QCOMPARE(rig.connection.PortAvailable,
             (Flags{true, true, true, true, true, true, false, true}));
    QCOMPARE(rig.messages.size(), 0);
  }

  void openWhileHeldShowsPortErrorAndKeepsDisplay() {
    Rig rig;
    rig.port.heldPorts = {1};
    rig.display.panels[0] = QStringLiteral("Port closed");
    rig.connection.mnuConnect_Click();
    QCOMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text, QStringLiteral("Port is used by other aplication"));
    QCOMPARE(rig.messages[0].title, QStringLiteral("Port Error"));
    QCOMPARE(rig.display.caption, QStringLiteral("Open"));
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port closed"));
    QVERIFY(rig.display.portMenusEnabled);
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
    rig.connection.mnuConnect_Click();
    QCOMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text, text);
    QCOMPARE(rig.messages[0].title, QString());  // the application title
    QVERIFY(!rig.port.PortOpen());
    QCOMPARE(rig.display.caption, QStringLiteral("Open"));
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Not connected"));
  }

  void openThenCloseShowEachState() {
    Rig rig;
    rig.connection.mnuConnect_Click();
    QVERIFY(rig.port.PortOpen());
    QCOMPARE(rig.display.caption, QStringLiteral("Close"));
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port opened"));
    QVERIFY(!rig.display.portMenusEnabled);
    rig.connection.mnuConnect_Click();
    QVERIFY(!rig.port.PortOpen());
    QCOMPARE(rig.display.caption, QStringLiteral("Open"));
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port closed"));
    QVERIFY(rig.display.portMenusEnabled);
    QCOMPARE(rig.messages.size(), 0);
  }

  void openCaptionOnOpenPortClosesThenOpens() {
    Rig rig;
    rig.port.setPortOpen(true);
    rig.display.caption = QStringLiteral("Open");
    rig.connection.mnuConnect_Click();
    QCOMPARE(rig.port.closeCount, 1);
    QCOMPARE(rig.port.openCount, 2);
    QVERIFY(rig.port.PortOpen());
    QCOMPARE(rig.display.caption, QStringLiteral("Close"));
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
    if (openBefore) rig.port.setPortOpen(true);
    rig.connection.OpenPortAndShowState();
    QCOMPARE(rig.port.openCount, opens);
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port opened"));
    QCOMPARE(rig.display.caption, QStringLiteral("Close"));
    QVERIFY(!rig.display.portMenusEnabled);
  }

  void openPortAndShowStateLetsFailureThrough() {
    Rig rig;
    rig.port.heldPorts = {1};
    try {
      rig.connection.OpenPortAndShowState();
      QFAIL("no error");
    } catch (const CommError& e) {
      QCOMPARE(e.number(), CommErr::PortInUse);
    }
    QCOMPARE(rig.display.caption, QStringLiteral("Open"));
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Not connected"));
    QCOMPARE(rig.messages.size(), 0);
  }

  // A typo in [Devices] must not send the logo to the link or the built-in port instead.
  void unusableAssignmentIsAMissingPortNamedAsWritten() {
    TempProgramFolder folder;
    QVERIFY(folder.writeIni({"[SerialPort]", "CommPort= 1", "[Devices]", "COM1=../x"}));
    Rig<kestrel::SerialComm> rig;
    rig.connection.FormLoad();
    QVERIFY(!rig.connection.PortAvailable[0]);
    QVERIFY(!rig.port.PortOpen());
    rig.connection.mnuConnect_Click();
    QCOMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text,
             QStringLiteral("Serial port cannot be opened. Check setting.\r../x"));
    QVERIFY(!rig.port.PortOpen());
    QVERIFY2(rig.connection.PortPanelToolTip().startsWith(QStringLiteral("../x  (")),
             qPrintable(rig.connection.PortPanelToolTip()));
  }

  void vanishedDeviceShowsClosedState() {
    Rig rig;
    rig.connection.mnuConnect_Click();
    rig.port.simulateLoss();
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port closed"));
    QCOMPARE(rig.display.caption, QStringLiteral("Open"));
    QVERIFY(rig.display.portMenusEnabled);
  }
};

QTEST_GUILESS_MAIN(TestPortConnection)
#include "tst_portconnection.moc"
