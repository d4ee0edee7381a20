#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "settings/inifile.h"
#include "settings/programfolder.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace kestrel;
using namespace kestrel::ArchivoIni;

namespace {

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool Put(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Settings as a user might have left them: comments, other sections, blank lines, a stray line.
const QByteArray kBusyFile =
    "; Kestrel settings\r\n"
    "\r\n"
    "[Other]\r\n"
    "Baud=1200\r\n"
    "\r\n"
    "[serialport]\r\n"
    "CommPort = 2\r\n"
    "  ; remember the old port\r\n"
    "a line nobody understands\r\n"
    "Baud= 9600,N,8,1\r\n"
    "Baud=second\r\n"
    "\r\n"
    "\r\n"
    "[Third]\r\n"
    "x=y";

}  // namespace

class TestIniFile : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  int fileNumber_ = 0;

  QString NewPath() { return dir_.filePath(QStringLiteral("settings%1.ini").arg(++fileNumber_)); }
  QString FileWith(const QByteArray& bytes) {
    const QString path = NewPath();
    if (!Put(path, bytes)) qFatal("cannot write test file");
    return path;
  }

 private slots:
  void initTestCase() { QVERIFY(dir_.isValid()); }
  void cleanup() { SetProgramFolder(QString()); }

  void missingFileReadsEmpty() {
    QCOMPARE(ReadProfileString(dir_.filePath(QStringLiteral("none.ini")), "SerialPort", "CommPort"),
             QString());
  }

  void readValue_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    const QByteArray port = "[SerialPort]\r\nCommPort= 3\r\nBaud= 57600,N,8,1\r\n";
    QTest::newRow("port number loses its sign blank") << port << "SerialPort"
                                                      << "CommPort"
                                                      << "3";
    QTest::newRow("line settings lose the leading blank") << port << "SerialPort"
                                                          << "Baud"
                                                          << "57600,N,8,1";
    QTest::newRow("absent section") << port << "Serial"
                                    << "CommPort"
                                    << "";
    QTest::newRow("absent key") << port << "SerialPort"
                                << "Parity"
                                << "";
    QTest::newRow("empty file") << QByteArray() << "SerialPort"
                                << "Baud"
                                << "";
    QTest::newRow("UTF-8 byte-order mark") << "\xEF\xBB\xBF" + port << "SerialPort"
                                           << "CommPort"
                                           << "3";
    QTest::newRow("lines ended by CR alone")
        << QByteArray("[SerialPort]\rCommPort= 3\rBaud= 57600,N,8,1\r") << "SerialPort"
        << "Baud"
        << "57600,N,8,1";
    QTest::newRow("names ignore case") << port << "SERIALPORT"
                                       << "commport"
                                       << "3";
    QTest::newRow("file names in other case")
        << QByteArray("[serialPORT]\nBAUD=x\n") << "SerialPort"
        << "Baud"
        << "x";
    QTest::newRow("TCP") << QByteArray("[SerialPort]\r\nCommPort=TCP\r\n") << "SerialPort"
                         << "CommPort"
                         << "TCP";
    QTest::newRow("blanks around names and equals")
        << QByteArray("  [ SerialPort ]  \r\n \t Baud \t=  \t x,y \t \r\n") << "SerialPort"
        << "Baud"
        << "x,y";
    QTest::newRow("blanks around the requested names") << port << " SerialPort "
                                                       << " Baud "
                                                       << "57600,N,8,1";
    QTest::newRow("quotes come off, inner trailing blanks stay")
        << QByteArray("[SerialPort]\r\nBaud=\"  x  \"\r\n") << "SerialPort"
        << "Baud"
        << "x  ";
    QTest::newRow("empty quotes") << QByteArray("[SerialPort]\r\nBaud=\"\"\r\n") << "SerialPort"
                                  << "Baud"
                                  << "";
    QTest::newRow("unmatched quote stays")
        << QByteArray("[SerialPort]\r\nBaud=\"x\r\n") << "SerialPort"
        << "Baud"
        << "\"x";
    QTest::newRow("TAB inside stays") << QByteArray("[SerialPort]\r\nBaud=a\tb\r\n") << "SerialPort"
                                      << "Baud"
                                      << "a\tb";
    QTest::newRow("CR, STX and NUL inside go") << QByteArray(
                                                      "[SerialPort]\nBaud=5\r7\x02"
                                                      "6") +
                                                      '\0' + QByteArray("00\n")
                                               << "SerialPort"
                                               << "Baud"
                                               << "57600";
    QTest::newRow("equals sign inside the value")
        << QByteArray("[SerialPort]\r\nBaud=a=b\r\n") << "SerialPort"
        << "Baud"
        << "a=b";
    QTest::newRow("empty value") << QByteArray("[SerialPort]\r\nBaud=\r\n") << "SerialPort"
                                 << "Baud"
                                 << "";
    QTest::newRow("bytes are Latin-1")
        << QByteArray("[SerialPort]\r\nBaud=caf\xE9\r\n") << "SerialPort"
        << "Baud" << QString::fromUtf8("café");
    QTest::newRow("first of two keys") << kBusyFile << "SerialPort"
                                       << "Baud"
                                       << "9600,N,8,1";
    QTest::newRow("key of another section") << kBusyFile << "Other"
                                            << "Baud"
                                            << "1200";
    QTest::newRow("last line without line break") << kBusyFile << "Third"
                                                  << "x"
                                                  << "y";
    QTest::newRow("comment is no key") << QByteArray("[SerialPort]\r\n;Baud=1\r\n") << "SerialPort"
                                       << ";Baud"
                                       << "";
    QTest::newRow("key before any section")
        << QByteArray("Baud=1\r\n[SerialPort]\r\n") << "SerialPort"
        << "Baud"
        << "";
    QTest::newRow("only the first section of a name counts")
        << QByteArray("[SerialPort]\r\nCommPort=1\r\n[SerialPort]\r\nBaud=2\r\n") << "SerialPort"
        << "Baud"
        << "";
    QTest::newRow("similar section name")
        << QByteArray("[SerialPort2]\r\nBaud=1\r\n") << "SerialPort"
        << "Baud"
        << "";
    QTest::newRow("unclosed section header")
        << QByteArray("[SerialPort\r\nBaud=1\r\n") << "SerialPort"
        << "Baud"
        << "";
    QTest::newRow("empty key name asked") << QByteArray("[SerialPort]\r\n=1\r\n") << "SerialPort"
                                          << ""
                                          << "";
  }
  void readValue() {
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QCOMPARE(ReadProfileString(FileWith(file), section, key), value);
  }

  void longValueReadsAsItsFirst254Characters() {
    QByteArray value;
    for (int i = 0; i < 300; ++i) value.append(char('a' + i % 26));
    const QString path = FileWith("[SerialPort]\r\nBaud=" + value + "\r\n");
    QCOMPARE(ReadProfileString(path, "SerialPort", "Baud"), QString::fromLatin1(value.left(254)));
  }

  void stripControlCharsDropsOnlyCrLfNulAndStx() {
    const QString text = QString::fromLatin1(
        "a\rb\nc\0d\x02"
        "e\tf\x01g\x03h\xE9",
        16);
    QCOMPARE(StripControlChars(text), QString::fromLatin1("abcde\tf\x01g\x03h\xE9"));
    QCOMPARE(StripControlChars(QString(40000, QLatin1Char('\r'))), QString());
  }

  void binaryFileReadsWithoutHarm() {
    QByteArray noise(256 * 1024, '\0');
    QRandomGenerator random(1234);
    for (char& c : noise) c = static_cast<char>(random.bounded(256));
    noise.append("\n[SerialPort]\nBaud=found\n");
    const QString path = FileWith(noise);
    QCOMPARE(ReadProfileString(path, "SerialPort", "Baud"), QStringLiteral("found"));
  }

  void hugeFileIsReadOnlyAtItsStartAndNeverRewritten() {
    QByteArray big = "[SerialPort]\r\nBaud= 4800,N,8,1\r\n";
    big.append(QByteArray(10 * 1024 * 1024, 'x'));
    big.append("\r\n[Late]\r\nkey=value\r\n");
    const QString path = FileWith(big);
    QCOMPARE(ReadProfileString(path, "SerialPort", "Baud"), QStringLiteral("4800,N,8,1"));
    QCOMPARE(ReadProfileString(path, "Late", "key"), QString());

    // Reads and writes share one limit: a key a write updates is always one a read sees.
    QVERIFY(!WriteProfileString(path, "Late", "key", "new"));
    QVERIFY(!WriteProfileString(path, "SerialPort", "Baud", " 9600,N,8,1"));
    QCOMPARE(Contents(path), big);

    // Nor may a write carry a file past the limit.
    const QByteArray nearlyFull =
        "[SerialPort]\r\n" + QByteArray(1024 * 1024 - 20, ';') + "\r\nBaud= 4800,N,8,1\r\n";
    const QString full = FileWith(nearlyFull);
    QVERIFY(!WriteProfileString(full, "SerialPort", "CommPort", " 3"));
    QCOMPARE(Contents(full), nearlyFull);
  }

  void writeChangesOnlyThatKeysLine_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("oldLine");
    QTest::addColumn<QByteArray>("newLine");
    QTest::newRow("first of two keys, other case")
        << "SerialPort"
        << "BAUD"
        << " 57600,N,8,1" << QByteArray("Baud= 9600,N,8,1\r\n")
        << QByteArray("Baud= 57600,N,8,1\r\n");
    QTest::newRow("blanks before equals kept")
        << "SerialPort"
        << "CommPort"
        << " 3" << QByteArray("CommPort = 2\r\n") << QByteArray("CommPort = 3\r\n");
    QTest::newRow("value written as given")
        << "SerialPort"
        << "CommPort"
        << "TCP  " << QByteArray("CommPort = 2\r\n") << QByteArray("CommPort =TCP  \r\n");
    QTest::newRow("empty value") << "Other"
                                 << "Baud"
                                 << "" << QByteArray("Baud=1200\r\n") << QByteArray("Baud=\r\n");
    QTest::newRow("last line without line break") << "Third"
                                                  << "x"
                                                  << "z" << QByteArray("x=y") << QByteArray("x=z");
  }
  void writeChangesOnlyThatKeysLine() {
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, oldLine);
    QFETCH(QByteArray, newLine);
    const QString path = FileWith(kBusyFile);
    QVERIFY(WriteProfileString(path, section, key, value));
    QByteArray expected = kBusyFile;
    const qsizetype at = expected.indexOf(oldLine);
    QVERIFY(at >= 0);
    expected.replace(at, oldLine.size(), newLine);
    QCOMPARE(Contents(path), expected);
  }

  void writeAddsKeysSectionsAndFiles_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("key at the end of its section, before the blank lines")
        << kBusyFile << "SerialPort"
        << QByteArray(kBusyFile).replace("Baud=second\r\n", "Baud=second\r\nNewKey= 3\r\n");
    QTest::newRow("key into a section that ends the file without a line break")
        << kBusyFile << "Third" << kBusyFile + "\r\nNewKey= 3\r\n";
    QTest::newRow("key into a section with no keys yet")
        << QByteArray("[SerialPort]\r\n\r\n[Next]\r\n") << "SerialPort"
        << QByteArray("[SerialPort]\r\nNewKey= 3\r\n\r\n[Next]\r\n");
    QTest::newRow("section after the rest, parted by a blank line")
        << QByteArray("[Other]\r\nx=1\r\n") << "SerialPort"
        << QByteArray("[Other]\r\nx=1\r\n\r\n[SerialPort]\r\nNewKey= 3\r\n");
    QTest::newRow("section after a last line without line break")
        << kBusyFile << "New" << kBusyFile + "\r\n\r\n[New]\r\nNewKey= 3\r\n";
    QTest::newRow("section after a blank last line")
        << QByteArray("[Other]\r\nx=1\r\n\r\n") << "SerialPort"
        << QByteArray("[Other]\r\nx=1\r\n\r\n[SerialPort]\r\nNewKey= 3\r\n");
    QTest::newRow("LF file gets LF lines")
        << QByteArray("[Other]\nx=1\n") << "SerialPort"
        << QByteArray("[Other]\nx=1\n\n[SerialPort]\nNewKey= 3\n");
    QTest::newRow("LF file, new key") << QByteArray("[SerialPort]\nx=1\n") << "serialport"
                                      << QByteArray("[SerialPort]\nx=1\nNewKey= 3\n");
    QTest::newRow("empty file") << QByteArray() << "SerialPort"
                                << QByteArray("[SerialPort]\r\nNewKey= 3\r\n");
    QTest::newRow("byte-order mark kept")
        << QByteArray("\xEF\xBB\xBF[SerialPort]\r\nx=1\r\n") << "SerialPort"
        << QByteArray("\xEF\xBB\xBF[SerialPort]\r\nx=1\r\nNewKey= 3\r\n");
    QTest::newRow("CR file gets CR lines")
        << QByteArray("[Other]\rx=1\r") << "SerialPort"
        << QByteArray("[Other]\rx=1\r\r[SerialPort]\rNewKey= 3\r");
  }
  void writeAddsKeysSectionsAndFiles() {
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QByteArray, after);
    const QString path = FileWith(before);
    QVERIFY(WriteProfileString(path, section, "NewKey", " 3"));
    QCOMPARE(Contents(path), after);
    QCOMPARE(ReadProfileString(path, section, "newkey"), QStringLiteral("3"));
  }

  void writeCreatesTheFileWithCrLf() {
    const QString path = NewPath();
    QVERIFY(WriteProfileString(path, " SerialPort ", " CommPort ", " 3"));
    QVERIFY(WriteProfileString(path, "SerialPort", "Baud", " 57600,N,8,1"));
    QCOMPARE(Contents(path), QByteArray("[SerialPort]\r\nCommPort= 3\r\nBaud= 57600,N,8,1\r\n"));
    QCOMPARE(ReadProfileString(path, "SerialPort", "CommPort"), QStringLiteral("3"));
    QCOMPARE(ReadProfileString(path, "SerialPort", "Baud"), QStringLiteral("57600,N,8,1"));
  }

  void writeThatCouldAddLinesOrKeysIsRefused_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("CR LF in value") << "SerialPort"
                                    << "Baud"
                                    << "1\r\n[Evil]\r\nx=1";
    QTest::newRow("LF in value") << "SerialPort"
                                 << "Baud"
                                 << "1\nx=1";
    QTest::newRow("CR in value") << "SerialPort"
                                 << "Baud"
                                 << "1\rx=1";
    QTest::newRow("NUL in value") << "SerialPort"
                                  << "Baud" << QString(QChar(0));
    QTest::newRow("LF in key") << "SerialPort"
                               << "Baud\nx"
                               << "1";
    QTest::newRow("CR in section") << "Serial\rPort"
                                   << "Baud"
                                   << "1";
    QTest::newRow("equals in key") << "SerialPort"
                                   << "Ba=ud"
                                   << "1";
    QTest::newRow("bracket in section") << "Serial]Port"
                                        << "Baud"
                                        << "1";
    QTest::newRow("key looks like a section") << "SerialPort"
                                              << "[Baud"
                                              << "1";
    QTest::newRow("key looks like a comment") << "SerialPort"
                                              << ";Baud"
                                              << "1";
    QTest::newRow("empty key") << "SerialPort"
                               << ""
                               << "1";
    QTest::newRow("blank key") << "SerialPort"
                               << "  "
                               << "1";
    QTest::newRow("empty section") << ""
                                   << "Baud"
                                   << "1";
    QTest::newRow("no single-byte form") << "SerialPort"
                                         << "Baud" << QString::fromUtf8("€");
  }
  void writeThatCouldAddLinesOrKeysIsRefused() {
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const QString path = FileWith(kBusyFile);
    QVERIFY(!WriteProfileString(path, section, key, value));
    QCOMPARE(Contents(path), kBusyFile);
  }

  void writersAtOnceKeepEveryKey() {
    const QString path = NewPath();
    constexpr int kKeysEach = 40;
    std::atomic<int> failures{0};
    const auto writer = [&](char who) {
      for (int i = 0; i < kKeysEach; ++i)
        if (!WriteProfileString(path, "SerialPort", QStringLiteral("%1%2").arg(who).arg(i), "x"))
          ++failures;
    };
    std::thread a(writer, 'A');
    std::thread b(writer, 'B');
    a.join();
    b.join();
    QCOMPARE(failures.load(), 0);
    for (char who : {'A', 'B'})
      for (int i = 0; i < kKeysEach; ++i)
        QCOMPARE(ReadProfileString(path, "SerialPort", QStringLiteral("%1%2").arg(who).arg(i)),
                 QStringLiteral("x"));
    QVERIFY(!QFile::exists(path + ".lock"));

    // A lock that stays held: the write gives up, says why and leaves the file alone.
    const QByteArray before = Contents(path);
    QLockFile held(path + ".lock");
    QVERIFY(held.tryLock(0));
    QString problem;
    QVERIFY(!WriteProfileString(path, "SerialPort", "A0", "lost?", &problem));
    QVERIFY2(problem.contains("another program"), qPrintable(problem));
    QCOMPARE(Contents(path), before);
  }

#ifdef Q_OS_UNIX
  void lockFileThatIsAFifoIsRefusedWithoutWaiting() {
    const QString path = FileWith(kBusyFile);
    QVERIFY(::mkfifo(QFile::encodeName(path + ".lock").constData(), 0600) == 0);
    QString problem;
    QVERIFY(!WriteProfileString(path, "SerialPort", "CommPort", " 3", &problem));
    QVERIFY2(problem.contains("not a regular file"), qPrintable(problem));
    QCOMPARE(Contents(path), kBusyFile);
  }
#endif

  void unwritableFolderTakesChangesOnlyInAWritableFile() {
    // A folder that cannot exist: its parent is a regular file.
    const QString underFile = FileWith("not a folder") + QStringLiteral("/Tessaly.ini");
    QVERIFY(!WriteProfileString(underFile, "SerialPort", "CommPort", " 3"));

    // Over a folder of that name.
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("folder.ini")));
    QVERIFY(!WriteProfileString(dir_.filePath(QStringLiteral("folder.ini")), "SerialPort",
                                "CommPort", " 3"));

    // An administrator's folder: the file itself may be writable, then it takes the change in
    // place; a read-only one keeps what it holds.
    const QString folder = dir_.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/Tessaly.ini");
    const QString readOnly = folder + QStringLiteral("/ReadOnly.ini");
    QVERIFY(Put(path, kBusyFile));
    QVERIFY(Put(readOnly, kBusyFile));
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner));
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    const bool bites = !QFile(folder + QStringLiteral("/probe")).open(QIODevice::WriteOnly);
    const bool written = WriteProfileString(path, "SerialPort", "CommPort", " 3");
    const bool readOnlyWritten = WriteProfileString(readOnly, "SerialPort", "CommPort", " 3");
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!bites) QSKIP("folder permissions do not apply to this user");
    QVERIFY(written);
    QByteArray expected = kBusyFile;
    expected.replace("CommPort = 2", "CommPort = 3");
    QCOMPARE(Contents(path), expected);
    QVERIFY(!readOnlyWritten);
    QCOMPARE(Contents(readOnly), kBusyFile);
  }

  void iniValueLivesInTheProgramFolder() {
    QCOMPARE(ProgramFolder(), QCoreApplication::applicationDirPath());
    QTemporaryDir home;
    QVERIFY(home.isValid());
    SetProgramFolder(home.path());
    QCOMPARE(ProgramFolder(), home.path());

    QCOMPARE(ReadIniValue(kIniFileName, kIniSection, "CommPort"), QString());
    QVERIFY(WriteIniValue(kIniFileName, kIniSection, "CommPort", " 3"));
    QCOMPARE(Contents(home.filePath(kIniFileName)), QByteArray("[SerialPort]\r\nCommPort= 3\r\n"));
    QCOMPARE(ReadIniValue(kIniFileName, kIniSection, "CommPort"), QStringLiteral("3"));

    SetProgramFolder(QString());
    QCOMPARE(ProgramFolder(), QCoreApplication::applicationDirPath());
  }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
