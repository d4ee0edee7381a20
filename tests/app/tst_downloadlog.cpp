// The download log: its line, and paths it must refuse without blocking or following.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "app/downloadlog.h"
#include "tempfolder.h"

using namespace kestrel;

class DownloadLogTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void lineQuotesWhatCsvMust() {
    DownloadRecord r;
    r.time = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::OffsetFromUTC, 3600);
    r.comNumber = 3;
    r.device = QStringLiteral("/dev/ttyUSB0");
    r.picture = QStringLiteral("/logos/Acme, \"new\".png");
    r.checksum = 0x0708;
    r.frames = 2;
    r.durationMs = 301;
    r.result = TransferResult::NotAcknowledged;
    r.station = QStringLiteral("bench-2");
    r.operatorName = QStringLiteral("Ana, line 3");
    r.version = QStringLiteral("1.4.0");
    QCOMPARE(DownloadLogLine(r),
             QByteArray("2024-03-05T14:07:09+01:00,3,/dev/ttyUSB0,\"/logos/Acme, \"\"new\"\".png\","
                        "0x0708,2,301,not-acknowledged,bench-2,\"Ana, line 3\",1.4.0\r\n"));

    test::TempProgramFolder folder;
    DownloadLog log;  // kestrel-loads.log in the settings folder
    QCOMPARE(log.append(r), QString());
    QCOMPARE(log.append(r), QString());
    QFile file(folder.filePath(QStringLiteral("kestrel-loads.log")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), kDownloadLogHeader + DownloadLogLine(r) + DownloadLogLine(r));
  }

  // A log an older loader began has no station, operator or version columns: its readers
  // expect every row to match its header, so rows go on in its columns.
  void logKeepsTheColumnsItsHeaderNames_data() {
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("row");
    QTest::newRow("older eight columns")
        << QByteArray("time,com,device,picture,checksum,frames,duration_ms,result\r\n")
        << QByteArray("2024-03-05T14:07:09Z,,/dev/ttyS0,,0x0708,132,9,interrupted\r\n");
    QTest::newRow("a column unknown here stays empty")
        << QByteArray("time,result,line,operator\r\n")
        << QByteArray("2024-03-05T14:07:09Z,interrupted,,ana\r\n");
    QTest::newRow("no header of ours: every column")
        << QByteArray("when,what\r\n")
        << QByteArray("2024-03-05T14:07:09Z,,/dev/ttyS0,,0x0708,132,9,interrupted,st,ana,2.0.1\r\n");
  }
  void logKeepsTheColumnsItsHeaderNames() {
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, row);
    test::TempProgramFolder folder;
    const QString path = folder.filePath(QStringLiteral("old.log"));
    const QByteArray earlier = header + "2020-01-01T00:00:00Z,1,/dev/ttyS0,a.bmp,0x0708,132,9,loaded\r\n";
    QVERIFY(test::WriteBytes(path, earlier));
    DownloadRecord r;
    r.time = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC);
    r.device = QStringLiteral("/dev/ttyS0");
    r.checksum = 0x0708;
    r.frames = 132;
    r.durationMs = 9;
    r.result = TransferResult::Interrupted;
    r.station = QStringLiteral("st");
    r.operatorName = QStringLiteral("ana");
    r.version = QStringLiteral("2.0.1");
    QCOMPARE(DownloadLog(path).append(r), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), earlier + row);
  }

  void formulaFieldsAreNeutralized_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("=") << "=HYPERLINK(\"http://x\")"
                       << QByteArray("\"'=HYPERLINK(\"\"http://x\"\")\"");
    QTest::newRow("@") << "@SUM(A1)" << QByteArray("'@SUM(A1)");
    QTest::newRow("inside is left") << "/dev/a=b" << QByteArray("/dev/a=b");
  }
  void formulaFieldsAreNeutralized() {
    QFETCH(QString, device);
    QFETCH(QByteArray, field);
    DownloadRecord r;
    r.device = device;
    r.picture = device;
    QVERIFY2(DownloadLogLine(r).contains("," + field + "," + field + ","),
             DownloadLogLine(r).constData());
  }

  void rowAfterAnUnendedLineStandsAlone() {
    test::TempProgramFolder folder;
    const QString path = folder.filePath(QStringLiteral("loads.log"));
    const QByteArray cut = kDownloadLogHeader + QByteArray("2024-03-05T14:07:09+01:00,3,/dev/tty");
    QVERIFY(test::WriteBytes(path, cut));
    DownloadLog log(path);
    DownloadRecord r;
    QCOMPARE(log.append(r), QString());
    QCOMPARE(log.append(r), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), cut + "\r\n" + DownloadLogLine(r) + DownloadLogLine(r));
  }

  // A file size limit fails a write part of the way, as a full disk does.
  void shortWriteIsCutBackAndNamed() {
    test::TempProgramFolder folder;
    const QString path = folder.filePath(QStringLiteral("loads.log"));
    const QByteArray before = kDownloadLogHeader + DownloadLogLine(DownloadRecord{});
    QVERIFY(test::WriteBytes(path, before));
    struct rlimit limit {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const struct rlimit small { rlim_t(before.size() + 10), limit.rlim_max };
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    DownloadLog log(path);
    const QString reason = log.append(DownloadRecord{});
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, previous);

    QVERIFY2(reason.endsWith(QString::fromLocal8Bit(::strerror(EFBIG))), qPrintable(reason));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
  }

  void hostilePathIsRefusedOnceWithoutBlocking_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("FIFO without a reader") << "fifo" << "not a regular file";
    QTest::newRow("link to a regular file") << "link" << "not a regular file";
    QTest::newRow("folder") << "folder" << "it is a folder";
  }
  void hostilePathIsRefusedOnceWithoutBlocking() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    test::TempProgramFolder folder;
    const QString target = folder.filePath(QStringLiteral("target.log"));
    const QString path = folder.filePath(QStringLiteral("loads.log"));
    QVERIFY(test::WriteBytes(target, "kept\n"));
    if (kind == QLatin1String("fifo"))
      QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("link"))
      QVERIFY(QFile::link(target, path));
    else
      QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("loads.log")));

    DownloadLog log(path);
    const QString first = log.append(DownloadRecord{});
    QVERIFY2(first.contains(reason), qPrintable(first));
    QCOMPARE(log.append(DownloadRecord{}), QString());  // reported once
    QFile kept(target);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("kept\n"));
  }
};

QTEST_GUILESS_MAIN(DownloadLogTest)
#include "tst_downloadlog.moc"
