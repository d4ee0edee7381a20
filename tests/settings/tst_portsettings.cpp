// The port choices in the settings file, read and written as values.
#include <QtTest/QtTest>
#include <optional>

#include "settings/portsettings.h"
#include "tempfolder.h"

using kestrel::test::TempProgramFolder;

class TestPortSettings : public QObject {
  Q_OBJECT

 private slots:
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

  void storedPortReadsAsStartUpUsesIt_data() {
    QTest::addColumn<QStringList>("ini");
    QTest::addColumn<int>("comNumber");  // 0: none
    QTest::addColumn<QString>("settings");  // empty: none
    QTest::newRow("no file") << QStringList{} << 0 << "";
    QTest::newRow("stored forms") << QStringList{"[SerialPort]", "CommPort= 5", "Baud= 38400,N,8,1"}
                                  << 5 << "38400,n,8,1";
    QTest::newRow("TCP, speed not a line setting")
        << QStringList{"[SerialPort]", "CommPort=TCP", "Baud=fast"} << 0 << "";
    QTest::newRow("beyond COM 255") << QStringList{"[SerialPort]", "CommPort= 256"} << 0 << "";
    QTest::newRow("negative") << QStringList{"[SerialPort]", "CommPort=-2"} << 0 << "";
  }
  void storedPortReadsAsStartUpUsesIt() {
    QFETCH(QStringList, ini);
    QFETCH(int, comNumber);
    QFETCH(QString, settings);
    TempProgramFolder folder;
    if (!ini.isEmpty()) QVERIFY(folder.writeIni(ini));
    const kestrel::StoredPort stored = kestrel::ReadStoredPort();
    QCOMPARE(stored.comNumber.value_or(0), comNumber);
    QCOMPARE(stored.lineSettings ? kestrel::FormatLineSettings(*stored.lineSettings) : QString(),
             settings);
  }

  void storedValuesReadBack() {
    TempProgramFolder folder;
    QVERIFY(kestrel::StoreComNumber(7));
    QVERIFY(kestrel::StoreBaud(57600));
    QVERIFY(kestrel::StoreDeviceAssignment(3, QStringLiteral("/dev/ttyUSB4")));
    QVERIFY(!kestrel::StoreComNumber(0));
    QCOMPARE(folder.iniBytes(),
             QByteArray("[SerialPort]\r\nCommPort= 7\r\nBaud= 57600,N,8,1\r\n\r\n[Devices]\r\n"
                        "COM3=/dev/ttyUSB4\r\n"));
    const kestrel::StoredPort stored = kestrel::ReadStoredPort();
    QCOMPARE(stored.comNumber, std::optional<int>(7));
    QCOMPARE(kestrel::ReadDeviceAssignment(3), std::optional<QString>("/dev/ttyUSB4"));
    QVERIFY(kestrel::StoreTcpIp());
    QVERIFY(!kestrel::ReadStoredPort().comNumber);
  }
};

QTEST_GUILESS_MAIN(TestPortSettings)
#include "tst_portsettings.moc"
