// The serial-port control without a device: numbers, line-settings texts, port names.
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest/QtTest>
#include <functional>
#include <memory>

#include "fakecommport.h"
#include "port/serialcomm.h"
#include "tempfolder.h"

using kestrel::CommError;
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
