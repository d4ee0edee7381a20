// kestrel-load as a user runs it: the program itself against the device simulator on a
// pseudo-terminal.
#include <signal.h>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTest>

#include "app/logotransfer.h"
#include "bitmapbytes.h"
#include "picture/logoconvert.h"
#include "picture/pictureread.h"
#include "ptyhelper.h"
#include "tempfolder.h"

using namespace kestrel;

namespace {

QString Program() { return QStringLiteral(KESTREL_BIN_DIR "/kestrel-load"); }

struct Finished {
  int status = -1;
  QString out;
  QString err;
};

Finished RunLoad(const QStringList& arguments) {
  QProcess process;
  process.start(Program(), arguments);
  Finished run;
  if (!process.waitForFinished(20000)) return run;
  run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
  run.err = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

// Reads the process's stderr (its read channel) until it holds text.
bool WaitForError(QProcess& process, QString& err, const QString& text) {
  process.setReadChannel(QProcess::StandardError);
  QDeadlineTimer deadline(10000);
  while (!err.contains(text) && !deadline.hasExpired()) {
    process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    err += QString::fromLocal8Bit(process.readAllStandardError());
  }
  return err.contains(text);
}

}  // namespace

class LoadProgramTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    KESTREL_REQUIRE_PTY();
    QVERIFY2(QFileInfo(Program()).isExecutable(), "kestrel-load not built");
  }
  void init() {
    folder_ = std::make_unique<test::TempProgramFolder>();
    logo_ = folder_->filePath(QStringLiteral("logo.bmp"));
    QVERIFY(test::WriteBytes(logo_, test::BitmapBytes({}, test::PatternPixels())));
  }
  void cleanup() { folder_.reset(); }

  void exitStatusAndOneLine_data();
  void exitStatusAndOneLine();
  void convertedPictureIsSentAsItsRaster();
  void repeatLoopSurvivesAFailure();

 private:
  QString path(const char* name) const { return folder_->filePath(QLatin1String(name)); }
  std::unique_ptr<test::TempProgramFolder> folder_;
  QString logo_;
};

void LoadProgramTest::exitStatusAndOneLine_data() {
  QTest::addColumn<QStringList>("simArguments");  // empty: no simulator
  QTest::addColumn<QStringList>("arguments");     // "<pty>" stands for its terminal
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("line");

  const QStringList device{"--port", "<pty>", "--baud", "115200"};
  QTest::newRow("0 loaded") << QStringList{"--delay", "0"} << device + QStringList{"<logo>"} << 0
                            << "kestrel-load: loaded ";
  QTest::newRow("1 not acknowledged")
      << QStringList{"--never-answer"} << device + QStringList{"<logo>"} << 1
      << "COMMUNICATION ERROR !! Check configuration and connection.";
  QTest::newRow("2 port missing") << QStringList()
                                  << QStringList{"--port", "<folder>/no-such-tty", "<logo>"} << 2
                                  << "Serial port cannot be opened. Check setting.";
  QTest::newRow("3 picture refused")
      << QStringList() << QStringList{"--port", "<folder>/no-such-tty", "<folder>/Tessaly.ini"} << 3
      << "is not a picture in a format this program reads";
  QTest::newRow("64 bad arguments") << QStringList() << QStringList{"<logo>", "<logo>"} << 64
                                    << "kestrel-load: give one picture only";
}

void LoadProgramTest::exitStatusAndOneLine() {
  QFETCH(QStringList, simArguments);
  QFETCH(QStringList, arguments);
  QFETCH(int, status);
  QFETCH(QString, line);
  QVERIFY(folder_->writeIni({"[SerialPort]", "CommPort= 1"}));
  test::SimProcess sim;
  if (!simArguments.isEmpty()) {
    QString why;
    QVERIFY2(sim.start(simArguments, &why), qPrintable(why));
  }
  arguments.replaceInStrings(QStringLiteral("<pty>"), sim.slavePath());
  arguments.replaceInStrings(QStringLiteral("<logo>"), logo_);
  arguments.replaceInStrings(QStringLiteral("<folder>"), folder_->path());
  arguments << QStringLiteral("--log") << path("loads.csv");

  const Finished run = RunLoad(arguments);
  QCOMPARE(run.status, status);
  QVERIFY2(run.err.contains(line), qPrintable(run.err));
  QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
  QVERIFY(run.err.startsWith(QStringLiteral("kestrel-load: ")));
  QCOMPARE(run.out, QString());
  if (status == 0) QVERIFY(sim.waitForReport(QStringLiteral(": match")));
}

void LoadProgramTest::convertedPictureIsSentAsItsRaster() {
  QImage picture(300, 90, QImage::Format_RGB32);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.setBrush(Qt::black);
  painter.drawEllipse(20, 10, 120, 70);
  for (int x = 150; x < 300; ++x) painter.fillRect(x, 0, 1, 90, QColor::fromHsv(0, 0, x - 100));
  painter.end();
  const QString png = path("picture.png");
  QVERIFY(picture.save(png));
  QString error;
  const LogoRaster expected = convert::RasterOf(
      convert::ConvertPicture(convert::LoadPicture(png, &error), convert::ConvertOptions{}));

  test::SimProcess sim;
  QVERIFY(sim.start({"--save", path("received.pbm"), "--downloads", "1"}));
  const Finished run =
      RunLoad({"--port", sim.slavePath(), "--trace", "--log", path("loads.csv"), png});
  QCOMPARE(run.status, 0);
  QVERIFY(sim.waitForExit());

  QFile received(path("received.pbm"));
  QVERIFY(received.open(QIODevice::ReadOnly));
  QCOMPARE(received.readAll(),
           QByteArray("P4\n240 60\n") +
               QByteArray(reinterpret_cast<const char*>(expected.data()), kLogoBytes));

  // Every frame and reply, with its time: the empty frame first, ACK CR for each of the 131.
  const QStringList trace = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  QCOMPARE(trace.filter(QStringLiteral(" ms > ")).size(), 132);
  QCOMPARE(trace.filter(QStringLiteral(" ms < <ACK><CR>")).size(), 131);
  QVERIFY2(trace.front().endsWith(QStringLiteral(" ms > 00<CR>")), qPrintable(trace.front()));

  QFile log(path("loads.csv"));
  QVERIFY(log.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = log.readAll().split('\n');
  QCOMPARE(lines.size(), 3);  // header, the download, nothing after the last line break
  QCOMPARE(lines[0], QByteArray("time,com,device,picture,checksum,frames,duration_ms,result\r"));
  const QList<QByteArray> fields = lines[1].chopped(1).split(',');
  QCOMPARE(fields.size(), 8);
  QVERIFY(QDateTime::fromString(QString::fromLatin1(fields[0]), Qt::ISODate).isValid());
  QCOMPARE(fields[1], QByteArray());  // a device named directly, no COM number for it
  QCOMPARE(QString::fromUtf8(fields[2]), sim.slavePath());
  QCOMPARE(QString::fromUtf8(fields[3]), QFileInfo(png).absoluteFilePath());
  QCOMPARE(fields[4], "0x" + QByteArray::number(LogoTransfer::LogoChecksum(expected), 16)
                                 .rightJustified(4, '0')
                                 .toUpper());
  QCOMPARE(fields[5], QByteArray("132"));
  QVERIFY(fields[6].toInt() > 0);
  QCOMPARE(fields[7], QByteArray("loaded"));
}

void LoadProgramTest::repeatLoopSurvivesAFailure() {
  // The device name leads nowhere at first: the first download fails on the port.
  const QString device = path("device");
  QVERIFY(QFile::link(path("absent"), device));
  QProcess loader;
  loader.start(Program(), {"--repeat", "--port", device, "--log", path("loads.csv"), logo_});
  QString err;
  QVERIFY2(WaitForError(loader, err, QStringLiteral("[0 loaded, 1 failed]")), qPrintable(err));

  test::SimProcess sim;  // replaces the link with one to its terminal
  QVERIFY(sim.start({"--link", device}));
  loader.write("\n");
  QVERIFY2(WaitForError(loader, err, QStringLiteral("[1 loaded, 1 failed]")), qPrintable(err));

  ::kill(pid_t(loader.processId()), SIGINT);
  QVERIFY(loader.waitForFinished(10000));
  err += QString::fromLocal8Bit(loader.readAllStandardError());
  QCOMPARE(loader.exitStatus(), QProcess::NormalExit);
  QCOMPARE(loader.exitCode(), 2);
  QVERIFY2(err.endsWith(QStringLiteral("kestrel-load: 1 loaded, 1 failed\n")), qPrintable(err));
}

QTEST_GUILESS_MAIN(LoadProgramTest)
#include "tst_loadprogram.moc"
