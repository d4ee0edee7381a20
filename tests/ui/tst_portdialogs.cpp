#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "fakecommport.h"
#include "portstatusview.h"
#include "settings/inifile.h"
#include "ui/portdialogs.h"
#include "windowrig.h"

using namespace kestrel;
using kestrel::test::FakeCommPort;

namespace {

struct Rig {
  test::TempProgramFolder folder;
  FakeCommPort port;
  test::MessageCapture messages;
  PortConnection connection{port, nullptr,
                            [this](const QString& device) { return port.exists(device); }};
  test::PortStatusView display{connection.state()};
  QSignalSpy changes{&connection.state(), &PortState::changed};

  void setLineSettings(const char* text) { connection.setLineSettings(*ParseLineSettings(text)); }
  QString lineSettings() const { return FormatLineSettings(connection.state().lineSettings()); }
};

QList<int> CheckedEntries(const std::function<QRadioButton*(int)>& entry, int count) {
  QList<int> checked;
  for (int i = 0; i < count; ++i)
    if (entry(i)->isChecked()) checked << i;
  return checked;
}

}  // namespace

class PortDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  // --- COM port dialog ---

  void commDialogLaysOutEightShownEntriesAndAHiddenTcpIpEntry() {
    Rig rig;
    CommDialog dialog(rig.connection);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Set COM PORT"));
    QVERIFY(dialog.isModal());
    auto* frame = dialog.findChild<QGroupBox*>();
    QVERIFY(frame);
    QCOMPARE(frame->title(), QStringLiteral("COM PORT"));
    for (int i = 0; i < 8; ++i) {
      QRadioButton* entry = dialog.findChild<QRadioButton*>(QStringLiteral("optCommPort%1").arg(i));
      QVERIFY(entry);
      QCOMPARE(entry->text(), QStringLiteral("COM %1").arg(i + 1));
      QVERIFY(entry->isVisibleTo(&dialog));
      // COM 1-4 in the left column, COM 5-8 in the right, top to bottom.
      QCOMPARE(entry->x(), dialog.optCommPort(i % 4)->x() +
                               (i / 4) * (dialog.optCommPort(4)->x() - dialog.optCommPort(0)->x()));
      if (i % 4) QVERIFY(entry->y() > dialog.optCommPort(i - 1)->y());
    }
    QVERIFY(dialog.optCommPort(4)->x() > dialog.optCommPort(0)->x());
    QCOMPARE(dialog.optCommPort(8)->text(), QStringLiteral("TCP/IP"));
    QVERIFY(!dialog.optCommPort(8)->isVisibleTo(&dialog));

    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("OKButton"));
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("CancelButton"));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    QVERIFY(ok->y() < cancel->y());
    QVERIFY(ok->x() > frame->geometry().right());
  }

  void commDialogPreselectsCurrentPortAndEnablesAvailablePorts() {
    Rig rig;
    rig.port.missingPorts = {2, 5, 6, 7, 8};
    rig.connection.setComNumber(3);
    CommDialog dialog(rig.connection);
    QCOMPARE(dialog.PortAtOpen(), 3);
    QCOMPARE(dialog.ChosenPort(), 3);
    QCOMPARE(CheckedEntries([&](int i) { return dialog.optCommPort(i); }, 9), QList<int>{2});
    const QList<bool> expected{true, false, true, true, false, false, false, false};
    for (int i = 0; i < 8; ++i) QCOMPARE(dialog.optCommPort(i)->isEnabled(), expected[i]);
  }

  void currentPortIsSelectedEvenWhenGreyedAndOkChangesNothing() {
    Rig rig;
    rig.port.missingPorts = {1, 2, 3, 4, 5, 6, 7, 8};
    rig.connection.setComNumber(6);
    CommDialog dialog(rig.connection);
    QVERIFY(dialog.optCommPort(5)->isChecked());
    QVERIFY(!dialog.optCommPort(5)->isEnabled());
    dialog.OKButton_Click();
    QCOMPARE(rig.connection.state().comNumber(), 6);
    QVERIFY(!rig.folder.iniExists());
    QCOMPARE(rig.display.panelText(2), QStringLiteral("COM  6"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }

  void okWithUnchangedPortRewritesPanelOnly() {
    Rig rig;
    rig.connection.setComNumber(3);
    rig.connection.ensureOpen();
    CommDialog dialog(rig.connection);
    dialog.OKButton_Click();
    QCOMPARE(rig.display.panelText(2), QStringLiteral("COM  3"));
    QCOMPARE(rig.port.openCount, 1);
    QCOMPARE(rig.port.closeCount, 0);
    QVERIFY(!rig.folder.iniExists());
  }

  void okWithNewPortAppliesItStoresItAndShowsIt_data() {
    QTest::addColumn<bool>("openBefore");
    QTest::newRow("port closed") << false;
    QTest::newRow("port open") << true;
  }
  void okWithNewPortAppliesItStoresItAndShowsIt() {
    QFETCH(bool, openBefore);
    Rig rig;
    rig.connection.setComNumber(1);
    if (openBefore) rig.connection.ensureOpen();
    CommDialog dialog(rig.connection);
    dialog.optCommPort(3)->click();
    QCOMPARE(dialog.ChosenPort(), 4);
    dialog.OKButton_Click();

    QCOMPARE(rig.connection.state().comNumber(), 4);
    QCOMPARE(rig.port.isOpen(), openBefore);
    if (openBefore) QCOMPARE(rig.port.openedPorts, (QList<int>{1, 4}));
    QVERIFY(rig.folder.iniBytes().contains("CommPort= 4\r\n"));
    QCOMPARE(ArchivoIni::ReadIniValue(QStringLiteral("Tessaly.ini"), QStringLiteral("SerialPort"),
                                      QStringLiteral("CommPort")),
             QStringLiteral("4"));
    QCOMPARE(rig.display.panelText(2), QStringLiteral("COM  4"));
    QVERIFY(!rig.connection.state().tcpIpMode());
  }

  void cancelAppliesAndStoresNothing() {
    Rig rig;
    CommDialog dialog(rig.connection);
    dialog.optCommPort(6)->click();
    dialog.CancelButton_Click();
    QCOMPARE(rig.connection.state().comNumber(), 1);
    QVERIFY(!rig.folder.iniExists());
    QCOMPARE(rig.changes.count(), 0);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
  }

  void closingByTitleBarActsAsCancel() {
    Rig rig;
    CommDialog dialog(rig.connection);
    dialog.show();
    dialog.optCommPort(6)->click();
    dialog.close();
    QCOMPARE(rig.connection.state().comNumber(), 1);
    QVERIFY(!rig.folder.iniExists());
  }

  void portOutsideOneToEightSelectsNothingAndOkKeepsIt() {
    Rig rig;
    rig.connection.setComNumber(12);
    CommDialog dialog(rig.connection);
    QVERIFY(CheckedEntries([&](int i) { return dialog.optCommPort(i); }, 9).isEmpty());
    QCOMPARE(dialog.ChosenPort(), 12);
    dialog.OKButton_Click();
    QCOMPARE(rig.connection.state().comNumber(), 12);
    QVERIFY(!rig.folder.iniExists());
  }

  void activationReenablesEntriesFromPortAvailable() {
    Rig rig;
    rig.port.missingPorts = {1, 2, 3, 4, 5, 6, 7, 8};
    CommDialog dialog(rig.connection);
    QVERIFY(!dialog.optCommPort(4)->isEnabled());
    rig.port.missingPorts.erase(5);  // an adapter came
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&dialog, &activate);
    QVERIFY(dialog.optCommPort(4)->isEnabled());
    QVERIFY(!dialog.optCommPort(3)->isEnabled());
  }

  void assignmentIsWrittenAtOnceKeepingEveryOtherLine() {
    Rig rig;
    const QByteArray before =
        "; loader\r\n[SerialPort]\r\nCommPort= 1\r\nBaud= 115200,N,8,1\r\n\r\n[Other]\r\nk = v "
        "\r\n";
    QVERIFY(rig.folder.writeIni(before));
    const QString stable = QStringLiteral("/dev/serial/by-id/usb-Maker_UART_A1-if00-port0");
    rig.connection.listDevices = [&] {
      return QList<SerialDevice>{{QStringLiteral("/dev/ttyUSB7"), stable,
                                  QStringLiteral("Maker UART"), QStringLiteral("Maker"),
                                  QStringLiteral("A1")}};
    };
    CommDialog dialog(rig.connection);
    QCOMPARE(dialog.lstDetected()->topLevelItemCount(), 1);
    QCOMPARE(dialog.lstDetected()->topLevelItem(0)->text(1), QStringLiteral("Maker UART"));
    QVERIFY(!dialog.cmdAssign()->isEnabled());  // no device selected yet
    dialog.optCommPort(2)->click();
    QCOMPARE(dialog.cboAssignPort()->currentText(), QStringLiteral("COM 3"));
    dialog.lstDetected()->topLevelItem(0)->setSelected(true);
    dialog.cmdAssign()->click();

    const QByteArray assigned = before + "\r\n[Devices]\r\nCOM3=" + stable.toLatin1() + "\r\n";
    QCOMPARE(rig.folder.iniBytes(), assigned);
    QTreeWidgetItem* com3 = dialog.lstPortDevices()->topLevelItem(2);
    QCOMPARE(com3->text(1), stable);
    QCOMPARE(com3->text(3), QStringLiteral("assigned in Tessaly.ini"));
    QCOMPARE(dialog.optCommPort(2)->text(), QStringLiteral("COM 3"));

    dialog.cmdClear()->click();
    QCOMPARE(rig.folder.iniBytes(), before + "\r\n[Devices]\r\nCOM3=\r\n");
    QCOMPARE(com3->text(1), QString());
    QVERIFY(!dialog.cmdClear()->isEnabled());
    // Neither touched the port or the stored port choice.
    QCOMPARE(rig.connection.state().comNumber(), 1);
    QCOMPARE(rig.changes.count(), 0);
  }

  void tcpIpEntrySwitchesModeWithoutTouchingThePort() {
    Rig rig;
    rig.connection.setComNumber(2);
    rig.connection.ensureOpen();
    CommDialog dialog(rig.connection);
    dialog.SelectEntry(8);
    QCOMPARE(dialog.ChosenPort(), 9);
    dialog.OKButton_Click();

    QVERIFY(rig.connection.state().tcpIpMode());
    QVERIFY(rig.folder.iniBytes().contains("CommPort=TCP\r\n"));
    QCOMPARE(rig.display.panelText(2), QStringLiteral("TCP/IP"));
    QCOMPARE(rig.display.panelText(3), QString());
    QCOMPARE(rig.connection.state().comNumber(), 2);
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.port.closeCount, 0);
  }

  void inTcpIpModeTheDialogOpensOnTcpIpAndCanLeaveIt() {
    Rig rig;
    rig.connection.setTcpIpMode(true);
    {
      CommDialog dialog(rig.connection);
      QCOMPARE(dialog.PortAtOpen(), 9);
      QVERIFY(dialog.optCommPort(8)->isChecked());
      dialog.OKButton_Click();  // TCP/IP again: nothing to store
      QVERIFY(rig.connection.state().tcpIpMode());
      QVERIFY(!rig.folder.iniExists());
    }
    CommDialog dialog(rig.connection);
    dialog.optCommPort(1)->click();
    dialog.OKButton_Click();
    QVERIFY(!rig.connection.state().tcpIpMode());
    QCOMPARE(rig.connection.state().comNumber(), 2);
    QVERIFY(rig.folder.iniBytes().contains("CommPort= 2\r\n"));
    QCOMPARE(rig.display.panelText(2), QStringLiteral("COM  2"));
    QCOMPARE(rig.display.panelText(3), QString());  // refilled only by the speed dialog
  }

  void failedReopenIsReportedAndShownClosed() {
    Rig rig;
    rig.connection.ensureOpen();
    rig.port.heldPorts.insert(5);
    CommDialog dialog(rig.connection);
    dialog.optCommPort(4)->click();
    dialog.OKButton_Click();

    QCOMPARE(rig.messages.messages.size(), 1);
    QCOMPARE(rig.messages.messages[0].text, QStringLiteral("Port already open"));
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(rig.display.panelText(1), QStringLiteral("Port closed"));
    QCOMPARE(rig.display.caption(), QStringLiteral("Open"));
    // The new number is in force, so it is remembered and shown.
    QCOMPARE(rig.connection.state().comNumber(), 5);
    QVERIFY(rig.folder.iniBytes().contains("CommPort= 5\r\n"));
    QCOMPARE(rig.display.panelText(2), QStringLiteral("COM  5"));
  }

  // The choice is in force for the rest of the run but gone at the next start: say so.
  void failedSettingsWriteIsShown_data() {
    QTest::addColumn<bool>("speedDialog");
    QTest::newRow("port dialog") << false;
    QTest::newRow("speed dialog") << true;
  }
  void failedSettingsWriteIsShown() {
    QFETCH(bool, speedDialog);
    Rig rig;
    QVERIFY(QDir().mkpath(rig.folder.iniPath()));  // a folder where the file should be
    if (speedDialog) {
      BaudDialog dialog(rig.connection);
      dialog.optBaudRate(4)->click();
      dialog.OKButton_Click();
    } else {
      CommDialog dialog(rig.connection);
      dialog.optCommPort(3)->click();
      dialog.OKButton_Click();
    }
    QCOMPARE(rig.messages.messages.size(), 1);
    QCOMPARE(rig.messages.messages[0].text,
             QStringLiteral("The settings file %1 could not be written.\rit is a folder")
                 .arg(QDir::toNativeSeparators(rig.folder.iniPath())));
    QCOMPARE(rig.display.panelText(speedDialog ? 3 : 2),
             speedDialog ? QStringLiteral("57600,n,8,1") : QStringLiteral("COM  4"));
  }

  // --- Speed dialog ---

  void baudDialogShowsSixEntriesInTwoColumns() {
    Rig rig;
    BaudDialog dialog(rig.connection);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Set Baudrate"));
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.findChild<QGroupBox*>()->title(), QStringLiteral("BaudRate"));
    const QStringList captions{QStringLiteral(" 4800 bauds"), QStringLiteral(" 9600 bauds"),
                               QStringLiteral("19200 bauds"), QStringLiteral("38400 bauds"),
                               QStringLiteral("57600 bauds"), QStringLiteral("115200 bauds")};
    for (int i = 0; i < 6; ++i) {
      QCOMPARE(dialog.findChild<QRadioButton*>(QStringLiteral("optBaudRate%1").arg(i))->text(),
               captions[i]);
      QCOMPARE(dialog.optBaudRate(i)->x(),
               dialog.optBaudRate(i % 3)->x() +
                   (i / 3) * (dialog.optBaudRate(3)->x() - dialog.optBaudRate(0)->x()));
    }
    QVERIFY(dialog.optBaudRate(3)->x() > dialog.optBaudRate(0)->x());
    QVERIFY(dialog.optBaudRate(2)->y() > dialog.optBaudRate(1)->y());
  }

  void baudDialogPreselectsSpeedInForce_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("baudAtOpen");
    QTest::newRow("4800") << "4800,n,8,1" << 0 << "4800";
    QTest::newRow("9600") << "9600,n,8,1" << 1 << "9600";
    QTest::newRow("19200") << "19200,n,8,1" << 2 << "19200";
    QTest::newRow("38400 capital N") << "38400,N,8,1" << 3 << "38400";
    QTest::newRow("57600") << "57600,n,8,1" << 4 << "57600";
    QTest::newRow("115200") << "115200,n,8,1" << 5 << "115200";
  }
  void baudDialogPreselectsSpeedInForce() {
    QFETCH(QString, settings);
    QFETCH(int, entry);
    QFETCH(QString, baudAtOpen);
    Rig rig;
    rig.connection.setLineSettings(*ParseLineSettings(settings));
    const int applied = int(rig.port.settingsApplied.size());
    BaudDialog dialog(rig.connection);
    QCOMPARE(CheckedEntries([&](int i) { return dialog.optBaudRate(i); }, 6), QList<int>{entry});
    QCOMPARE(dialog.BaudAtOpen(), baudAtOpen);
    QCOMPARE(dialog.ChosenBaud(), baudAtOpen);
    QCOMPARE(int(rig.port.settingsApplied.size()), applied);
  }

  void okWithNewSpeedAppliesStoresAndShows_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("applied");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("4800") << 0 << "4800,n,8,1" << QByteArray("Baud= 4800,N,8,1\r\n");
    QTest::newRow("9600") << 1 << "9600,n,8,1" << QByteArray("Baud= 9600,N,8,1\r\n");
    QTest::newRow("19200") << 2 << "19200,n,8,1" << QByteArray("Baud= 19200,N,8,1\r\n");
    QTest::newRow("38400") << 3 << "38400,n,8,1" << QByteArray("Baud= 38400,N,8,1\r\n");
    QTest::newRow("57600") << 4 << "57600,n,8,1" << QByteArray("Baud= 57600,N,8,1\r\n");
    QTest::newRow("115200") << 5 << "115200,n,8,1" << QByteArray("Baud= 115200,N,8,1\r\n");
  }
  void okWithNewSpeedAppliesStoresAndShows() {
    QFETCH(int, entry);
    QFETCH(QString, applied);
    QFETCH(QByteArray, stored);
    Rig rig;
    rig.setLineSettings(entry == 0 ? "9600,n,8,1" : "4800,n,8,1");
    BaudDialog dialog(rig.connection);
    dialog.optBaudRate(entry)->click();
    dialog.OKButton_Click();
    QCOMPARE(rig.lineSettings(), applied);
    QVERIFY2(rig.folder.iniBytes().contains(stored), rig.folder.iniBytes().constData());
    QCOMPARE(rig.display.panelText(3), applied);
  }

  void okWithNewSpeedWhileOpenReopensThePort() {
    Rig rig;
    rig.connection.ensureOpen();
    BaudDialog dialog(rig.connection);
    dialog.optBaudRate(4)->click();
    dialog.OKButton_Click();
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.port.closeCount, 1);
    QCOMPARE(rig.port.openCount, 2);
    QCOMPARE(rig.lineSettings(), QStringLiteral("57600,n,8,1"));
  }

  void okWithSameSpeedOnlyRewritesPanel_data() {
    QTest::addColumn<QString>("inForce");
    QTest::newRow("n,8,1") << "57600,n,8,1";
    // The panel shows the parity and bits the port keeps, not the ones the dialog offers.
    QTest::newRow("e,7,2 kept") << "57600,e,7,2";
  }
  void okWithSameSpeedOnlyRewritesPanel() {
    QFETCH(QString, inForce);
    Rig rig;
    rig.connection.setLineSettings(*ParseLineSettings(inForce));
    const int applied = int(rig.port.settingsApplied.size());
    BaudDialog dialog(rig.connection);
    dialog.OKButton_Click();
    QCOMPARE(int(rig.port.settingsApplied.size()), applied);
    QVERIFY(!rig.folder.iniExists());
    QCOMPARE(rig.display.panelText(3), inForce);
  }

  void cancelLeavesSpeedFileAndPanel() {
    Rig rig;
    BaudDialog dialog(rig.connection);
    dialog.optBaudRate(0)->click();
    dialog.CancelButton_Click();
    QCOMPARE(rig.lineSettings(), QStringLiteral("9600,n,8,1"));
    QVERIFY(!rig.folder.iniExists());
    QCOMPARE(rig.changes.count(), 0);
  }

  void unknownSpeedFallsBackTo38400AsTheDialogOpens_data() {
    QTest::addColumn<bool>("okAfterwards");
    QTest::newRow("then Cancel") << false;
    QTest::newRow("then OK") << true;
  }
  void unknownSpeedFallsBackTo38400AsTheDialogOpens() {
    QFETCH(bool, okAfterwards);
    Rig rig;
    rig.setLineSettings("2400,n,8,1");
    rig.connection.ensureOpen();
    BaudDialog dialog(rig.connection);
    QVERIFY(dialog.optBaudRate(3)->isChecked());
    QCOMPARE(dialog.BaudAtOpen(), QStringLiteral("38400"));
    // Applied at once, without closing the port, and shown as the speed in force.
    QCOMPARE(rig.lineSettings(), QStringLiteral("38400,n,8,1"));
    QCOMPARE(rig.port.closeCount, 0);
    QCOMPARE(rig.display.panelText(3), QStringLiteral("38400,n,8,1"));

    if (okAfterwards)
      dialog.OKButton_Click();
    else
      dialog.CancelButton_Click();
    QCOMPARE(rig.display.panelText(3), QStringLiteral("38400,n,8,1"));
    QCOMPARE(rig.lineSettings(), QStringLiteral("38400,n,8,1"));
    QCOMPARE(rig.port.closeCount, 0);
    QVERIFY(!rig.folder.iniExists());
  }

  void refusedFallbackIsReportedAndOkDoesNotClaimIt() {
    Rig rig;
    rig.setLineSettings("2400,n,8,1");
    rig.connection.ensureOpen();
    rig.port.refuseLineSettings = true;
    BaudDialog dialog(rig.connection);
    QCOMPARE(rig.messages.messages.size(), 1);
    QCOMPARE(rig.messages.messages[0].text, QStringLiteral("The device refused the line settings"));
    QCOMPARE(rig.messages.messages[0].title, QString());
    dialog.OKButton_Click();
    QCOMPARE(rig.messages.messages.size(), 2);
    QCOMPARE(rig.lineSettings(), QStringLiteral("2400,n,8,1"));
    QCOMPARE(rig.display.panelText(3), QStringLiteral("2400,n,8,1"));  // still what is in force
    QVERIFY(!rig.folder.iniExists());
  }

  // --- TCP/IP window ---

  void tcpIpWindowShowsItsFieldsAndClosesOnEitherButton_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("Aceptar") << "OKButton";
    QTest::newRow("Cancelar") << "CancelButton";
  }
  void tcpIpWindowShowsItsFieldsAndClosesOnEitherButton() {
    QFETCH(QString, button);
    TCP_IPDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("TCP/IP Settings"));
    QVERIFY(!dialog.isModal());
    QCOMPARE(dialog.txtPort()->text(), QStringLiteral("1234"));
    QVERIFY(dialog.txtHostIP()->text().startsWith(QStringLiteral("192.168.")));
    QStringList frames;
    for (auto* frame : dialog.findChildren<QGroupBox*>()) frames << frame->title();
    QCOMPARE(frames, (QStringList{QStringLiteral("IP Host"), QStringLiteral("Remote Port")}));
    QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("OKButton"))->text(),
             QStringLiteral("Aceptar"));
    QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("CancelButton"))->text(),
             QStringLiteral("Cancelar"));
    dialog.show();
    dialog.txtPort()->setText(QStringLiteral("99"));
    dialog.findChild<QPushButton*>(button)->click();
    QVERIFY(!dialog.isVisible());
  }
};

QTEST_MAIN(PortDialogsTest)
#include "tst_portdialogs.moc"
