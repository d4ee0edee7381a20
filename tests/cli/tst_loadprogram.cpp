// kestrel-load as a user runs it: the program itself against the device simulator on a
// pseudo-terminal.
#include <signal.h>
#include <unistd.h>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTest>

#include "app/logotransfer.h"
#include "bitmapbytes.h"
#include "cli/loadcommand.h"
#include "kestrel/version.h"
#include "logo/logoraster.h"
#include "ptyhelper.h"
#include "tempfolder.h"

using namespace kestrel;

namespace {

QString Program() { return QStringLiteral(KESTREL_BIN_DIR "/kestrel-load"); }
QString Converter() { return QStringLiteral(KESTREL_BIN_DIR "/kestrel-logo-convert"); }

struct Finished {
  int status = -1;
  QString out;
  QString err;
};

// input is all the program reads on standard input, then it ends.
Finished RunLoad(
    const QStringList& arguments, const QByteArray& input = {}, const QString& program = Program(),
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  process.write(input);
  process.closeWriteChannel();
  Finished run;
  if (!process.waitForFinished(20000)) return run;
  run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
  run.err = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

// Reads the process's channel until what came holds text.
bool WaitForText(QProcess& process, QProcess::ProcessChannel channel, QString& came,
                 const QString& text) {
  process.setReadChannel(channel);
  QDeadlineTimer deadline(10000);
  while (!came.contains(text) && !deadline.hasExpired()) {
    process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    came += QString::fromLocal8Bit(process.readAll());
  }
  return came.contains(text);
}

bool WaitForError(QProcess& process, QString& err, const QString& text) {
  return WaitForText(process, QProcess::StandardError, err, text);
}

}  // namespace

class LoadProgramTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    KESTREL_REQUIRE_PTY();
    QVERIFY2(QFileInfo(Program()).isExecutable(), "kestrel-load not built");
    // A port the developer's shell names must not steer the runs that name none.
    qunsetenv(cli::kPortVariable);
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
  void interruptedDownloadIsLoggedAndLetsThePortGo_data();
  void interruptedDownloadIsLoggedAndLetsThePortGo();
  void severalPortsLoadTogether_data();
  void severalPortsLoadTogether();
  void repeatLoopSurvivesAFailure();
  void repeatStartsOneDownloadPerLineReadMeanwhile_data();
  void repeatStartsOneDownloadPerLineReadMeanwhile();
  void portNotStoredIsTheWindowsAndTheSimulatorsToo();
  void portFromOptionThenEnvironmentThenSettings_data();
  void portFromOptionThenEnvironmentThenSettings();
  void portListsAndTheSamePortTwice_data();
  void portListsAndTheSamePortTwice();
  void shortOptionsMeanTheirLongForms_data();
  void shortOptionsMeanTheirLongForms();
  void everyProgramAnswersHelpVersionAndUsageErrors_data();
  void everyProgramAnswersHelpVersionAndUsageErrors();
  void bashCompletionOffersOptionsAndValues_data();
  void bashCompletionOffersOptionsAndValues();

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
  QTest::addColumn<QStringList>("notes");  // the starts of the lines before it

  const QStringList device{"--port", "<pty>", "--baud", "115200"};
  const QStringList missing{"--port", "<folder>/no-such-tty"};
  QTest::newRow("0 loaded") << QStringList{"--delay", "0"} << device + QStringList{"<logo>"} << 0
                            << "kestrel-load: loaded " << QStringList();
  QTest::newRow("0 loaded, white first and options ignored, noted")
      << QStringList{"--delay", "0"}
      << device + QStringList{"--invert", "--threshold", "90", "<folder>/white-first.bmp"} << 0
      << "kestrel-load: loaded "
      << QStringList{
             "kestrel-load: <folder>/white-first.bmp is a logo bitmap, sent as it is: "
             "--invert, --threshold ignored",
             "kestrel-load: This file's palette lists white first: "};
  QTest::newRow("1 not acknowledged")
      << QStringList{"--never-answer"} << device + QStringList{"<logo>"} << 1
      << "COMMUNICATION ERROR !! Check configuration and connection." << QStringList();
  QTest::newRow("2 port missing, named once")
      << QStringList() << missing + QStringList{"<logo>"} << 2
      << "no-such-tty: Serial port cannot be opened. Check setting.\n"
      << QStringList();
  QTest::newRow("2 a bare name is a node in /dev")
      << QStringList() << QStringList{"--port", "kestrel-no-such-tty", "<logo>"} << 2
      << "kestrel-load: /dev/kestrel-no-such-tty: Serial port" << QStringList();
  QTest::newRow("3 picture refused")
      << QStringList() << missing + QStringList{"<folder>/Tessaly.ini"} << 3
      << "is not a picture in a format this program reads" << QStringList();
  QTest::newRow("2 control characters in a name shown escaped")
      << QStringList() << QStringList{"--port", "<folder>/tty\x1b[2J\nS0", "<logo>"} << 2
      << "/tty\\x1b[2J\\nS0: Serial port" << QStringList();
  QTest::newRow("64 bad arguments") << QStringList() << QStringList{"<logo>", "<logo>"} << 64
                                    << "kestrel-load: give one picture only" << QStringList();
  // Quiet: nothing but errors, the notes on the picture included.
  QTest::newRow("0 loaded, -q: nothing said")
      << QStringList{"--delay", "0"}
      << device + QStringList{"-q", "--invert", "<folder>/white-first.bmp"} << 0 << QString()
      << QStringList();
  QTest::newRow("2 port missing, -q: still said")
      << QStringList() << missing + QStringList{"-q", "<logo>"} << 2
      << "no-such-tty: Serial port cannot be opened. Check setting.\n"
      << QStringList();
  QTest::newRow("64 log is the picture by a hard link")
      << QStringList() << missing + QStringList{"--log", "<folder>/hard-link.bmp", "<logo>"} << 64
      << "the log and the picture must be different files" << QStringList();
}

void LoadProgramTest::exitStatusAndOneLine() {
  QFETCH(QStringList, simArguments);
  QFETCH(QStringList, arguments);
  QFETCH(int, status);
  QFETCH(QString, line);
  QFETCH(QStringList, notes);
  QVERIFY(folder_->writeIni({"[SerialPort]", "CommPort= 1"}));
  QVERIFY(::link(QFile::encodeName(logo_), QFile::encodeName(path("hard-link.bmp"))) == 0);
  QByteArray whiteFirst = test::BitmapBytes({}, test::PatternPixels());
  whiteFirst.replace(54, 8, QByteArray("\xFF\xFF\xFF\0\0\0\0\0", 8));
  QVERIFY(test::WriteBytes(path("white-first.bmp"), whiteFirst));
  test::SimProcess sim;
  if (!simArguments.isEmpty()) {
    QString why;
    QVERIFY2(sim.start(simArguments, &why), qPrintable(why));
  }
  arguments.replaceInStrings(QStringLiteral("<pty>"), sim.slavePath());
  arguments.replaceInStrings(QStringLiteral("<logo>"), logo_);
  arguments.replaceInStrings(QStringLiteral("<folder>"), folder_->path());
  notes.replaceInStrings(QStringLiteral("<folder>"), folder_->path());
  if (!arguments.contains(QStringLiteral("--log")))
    arguments << QStringLiteral("--log") << path("loads.csv");

  const Finished run = RunLoad(arguments);
  QCOMPARE(run.status, status);
  QCOMPARE(run.out, QString());
  if (status == 0) QVERIFY(sim.waitForReport(QStringLiteral(": match")));
  if (line.isEmpty()) {
    QCOMPARE(run.err, QString());
    return;
  }
  const QStringList lines = run.err.split(QLatin1Char('\n'));
  QCOMPARE(lines.size(), notes.size() + 2);  // nothing after the outcome's line break
  for (qsizetype i = 0; i < notes.size(); ++i)
    QVERIFY2(lines[i].startsWith(notes[i]), qPrintable(run.err));
  QVERIFY2((lines[notes.size()] + QLatin1Char('\n')).contains(line), qPrintable(run.err));
  QVERIFY(lines[notes.size()].startsWith(QStringLiteral("kestrel-load: ")));
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
  // What the converter program makes of it, read back as the window would read its bitmap.
  const Finished converted = RunLoad({png, path("converted.bmp")}, {}, Converter());
  QVERIFY2(converted.status == 0, qPrintable(converted.err));
  const LogoLoad bitmap = LoadLogoFile(path("converted.bmp"));
  QCOMPARE(bitmap.outcome, LogoFileResult::Outcome::Accepted);
  const LogoRaster& expected = bitmap.raster;

  test::SimProcess sim;
  QVERIFY(sim.start({"--save", path("received.pbm"), "--downloads", "1"}));
  const Finished run =
      RunLoad({"--port", sim.slavePath(), "--trace", "--log", path("loads.csv"), "--operator",
               "Ana B", png});
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
  QCOMPARE(lines[0], QByteArray("time,com,device,picture,checksum,frames,duration_ms,result,"
                                "station,operator,version\r"));
  const QList<QByteArray> fields = lines[1].chopped(1).split(',');
  QCOMPARE(fields.size(), 11);
  QVERIFY(QDateTime::fromString(QString::fromLatin1(fields[0]), Qt::ISODate).isValid());
  QCOMPARE(fields[1], QByteArray());  // a device named directly, no COM number for it
  QCOMPARE(QString::fromUtf8(fields[2]), sim.slavePath());
  QCOMPARE(QString::fromUtf8(fields[3]), QFileInfo(png).absoluteFilePath());
  QCOMPARE(fields[4],
           "0x" + QByteArray::number(LogoChecksum(expected), 16).rightJustified(4, '0').toUpper());
  QCOMPARE(fields[5], QByteArray("132"));
  QVERIFY(fields[6].toInt() > 0);
  QCOMPARE(fields[7], QByteArray("loaded"));
  QCOMPARE(QString::fromUtf8(fields[8]), QSysInfo::machineHostName());
  QCOMPARE(fields[9], QByteArray("Ana B"));
  QCOMPARE(fields[10], QByteArray(kVersionText));
}

void LoadProgramTest::interruptedDownloadIsLoggedAndLetsThePortGo_data() {
  QTest::addColumn<bool>("traceReaderGone");  // else Ctrl-C
  QTest::addColumn<int>("status");
  QTest::newRow("Ctrl-C") << false << 130;
  QTest::newRow("--trace | head -n 3") << true << 141;
}

void LoadProgramTest::interruptedDownloadIsLoggedAndLetsThePortGo() {
  QFETCH(bool, traceReaderGone);
  QFETCH(int, status);
  test::SimProcess sim;
  QVERIFY(sim.start({"--delay", "10"}));  // 132 frames take over a second
  const QStringList arguments{"--port", sim.slavePath(),   "--trace",
                              "--log",  path("loads.csv"), logo_};
  QProcess loader;
  QString err;
  if (traceReaderGone) {
    loader.start(
        QStringLiteral("/bin/sh"),
        QStringList{"-c", R"(("$0" "$@"; echo "exit $?" >&2) | head -n 3 >/dev/null)", Program()} +
            arguments);
    QVERIFY(WaitForError(loader, err, QStringLiteral("exit ")));
  } else {
    loader.start(Program(), arguments);
    QString trace;
    QVERIFY(WaitForText(loader, QProcess::StandardOutput, trace, QStringLiteral(";BB00800>")));
    ::kill(pid_t(loader.processId()), SIGINT);
  }
  QVERIFY(loader.waitForFinished(10000));
  QCOMPARE(loader.exitStatus(), QProcess::NormalExit);
  err += QString::fromLocal8Bit(loader.readAllStandardError());
  QStringList lines = err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  QCOMPARE(traceReaderGone ? lines.takeLast().mid(5).toInt() : loader.exitCode(), status);
  QCOMPARE(lines.size(), 1);
  QVERIFY2(lines[0].contains(QStringLiteral("interrupted")), qPrintable(err));

  QFile log(path("loads.csv"));
  QVERIFY(log.open(QIODevice::ReadOnly));
  const QList<QByteArray> rows = log.readAll().split('\n');
  QCOMPARE(rows.size(), 3);
  QVERIFY2(rows[1].contains(",interrupted,"), rows[1].constData());
  // The port was let go: the next run has it at once.
  QCOMPARE(RunLoad({"--port", sim.slavePath(), "--log", path("loads.csv"), logo_}).status, 0);
}

void LoadProgramTest::severalPortsLoadTogether_data() {
  QTest::addColumn<QList<QStringList>>("sims");  // one a port; empty: a port that is missing
  QTest::addColumn<int>("signal");               // sent once a reply came; 0: none
  QTest::addColumn<int>("status");
  QTest::addColumn<QStringList>("results");  // each port's, in the order given
  QTest::addColumn<QList<int>>("statuses");
  const QStringList quick{"--delay", "0"};
  QTest::newRow("three ports load") << QList<QStringList>{quick, quick, quick} << 0 << 0
                                    << QStringList{"loaded", "loaded", "loaded"}
                                    << QList<int>{0, 0, 0};
  QTest::newRow("the worst status: a port missing")
      << QList<QStringList>{quick, {"--never-answer"}, {}} << 0 << 2
      << QStringList{"loaded", "not-acknowledged", "port-missing"} << QList<int>{0, 1, 2};
  QTest::newRow("SIGTERM stops each download")
      << QList<QStringList>{{"--delay", "10"}, {"--delay", "10"}} << SIGTERM << 143
      << QStringList{"interrupted", "interrupted"} << QList<int>{143, 143};
}

// One run on several ports: a JSON line on standard output and a log row for each, each
// simulator confirming the logo it got; the trace goes to standard error then.
void LoadProgramTest::severalPortsLoadTogether() {
  QFETCH(QList<QStringList>, sims);
  QFETCH(int, signal);
  QFETCH(int, status);
  QFETCH(QStringList, results);
  QFETCH(QList<int>, statuses);
  std::vector<std::unique_ptr<test::SimProcess>> devices;
  QStringList ports;
  for (const QStringList& simArguments : sims) {
    auto& sim = devices.emplace_back(std::make_unique<test::SimProcess>());
    if (simArguments.isEmpty())
      ports << path("no-such-tty");
    else
      QVERIFY(sim->start(simArguments));
    if (sim->running()) ports << sim->slavePath();
  }
  // The option repeated, and a comma list.
  const QStringList arguments{"--port", ports.mid(1).join(','), "-p", ports.front(), "--json",
                              "--trace", "--log", path("loads.csv"), logo_};
  Finished run;
  if (signal != 0) {
    QProcess loader;
    loader.start(Program(), arguments);
    QVERIFY(WaitForError(loader, run.err, QStringLiteral("<ACK><CR>")));
    ::kill(pid_t(loader.processId()), signal);
    QVERIFY(loader.waitForFinished(10000));
    run.status = loader.exitCode();
    run.out = QString::fromUtf8(loader.readAllStandardOutput());
  } else {
    run = RunLoad(arguments);
  }
  QCOMPARE(run.status, status);

  QFile log(path("loads.csv"));
  QVERIFY(log.open(QIODevice::ReadOnly));
  QStringList rows = QString::fromUtf8(log.readAll()).split(QStringLiteral("\r\n"));
  const QStringList header = rows.takeFirst().split(QLatin1Char(','));
  const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), ports.size());
  QCOMPARE(rows.size(), ports.size() + 1);  // nothing after the last line break
  for (const QString& line : lines) {
    QJsonParseError error{};
    const QJsonObject download = QJsonDocument::fromJson(line.toUtf8(), &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(line));
    const auto port = ports.indexOf(download.value(QStringLiteral("device")).toString());
    QVERIFY2(port >= 0, qPrintable(line));
    QCOMPARE(download.value(QStringLiteral("result")).toString(), results[port]);
    QCOMPARE(download.value(QStringLiteral("status")).toInt(-1), statuses[port]);
    // Under the log's names, the row the recorder wrote for this device.
    QStringList row;
    for (const QString& name : header) {
      QVERIFY2(download.contains(name), qPrintable(name));
      const QJsonValue value = download.value(name);
      row << (value.isDouble() ? QString::number(value.toInteger()) : value.toString());
    }
    QCOMPARE(rows.count(row.join(QLatin1Char(','))), 1);
    const QString checksum = download.value(QStringLiteral("checksum")).toString();
    if (results[port] == QLatin1String("loaded"))
      QVERIFY(devices[size_t(port)]->waitForReport(
          QStringLiteral("computed %1: match").arg(checksum.mid(2).toLower())));
  }
}

void LoadProgramTest::repeatLoopSurvivesAFailure() {
  // The device name leads nowhere at first: the first download fails on the port.
  const QString device = path("device");
  QProcess loader;
  loader.start(Program(), {"--repeat", "--port", device, "--log", path("loads.csv"), logo_});
  QString err;
  QVERIFY2(WaitForError(loader, err, QStringLiteral("[0 loaded, 1 failed]")), qPrintable(err));

  test::SimProcess sim;  // makes the name a link to its terminal
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

void LoadProgramTest::repeatStartsOneDownloadPerLineReadMeanwhile_data() {
  QTest::addColumn<QString>("redirection");
  QTest::addColumn<QByteArray>("input");
  QTest::addColumn<QString>("summary");
  // Both lines are there before the first download ends.
  QTest::newRow("two lines") << QString() << QByteArray("\n\n") << "3 loaded, 0 failed";
  QTest::newRow("standard input closed") << "<&-" << QByteArray() << "1 loaded, 0 failed";
}

void LoadProgramTest::repeatStartsOneDownloadPerLineReadMeanwhile() {
  QFETCH(QString, redirection);
  QFETCH(QByteArray, input);
  QFETCH(QString, summary);
  test::SimProcess sim;
  QVERIFY(sim.start({"--delay", "0"}));
  const Finished run =
      RunLoad(QStringList{"-c", R"(exec "$0" "$@" )" + redirection, Program(), "--repeat", "--port",
                          sim.slavePath(), "--log", path("loads.csv"), logo_},
              input, QStringLiteral("/bin/sh"));
  QCOMPARE(run.status, 0);
  QVERIFY2(run.err.endsWith(QStringLiteral("kestrel-load: ") + summary + QLatin1Char('\n')),
           qPrintable(run.err));
}

// Settings that name a speed but no port: the program, the simulator linked for its folder
// (as kestrel-run --simulate links it) and the window all take the same COM number.
void LoadProgramTest::portNotStoredIsTheWindowsAndTheSimulatorsToo() {
  // The program reads the settings beside itself: a copy of it in the test's folder.
  const QString program = path("kestrel-load");
  QVERIFY(QFile::copy(Program(), program));
  QVERIFY(folder_->writeIni({"[SerialPort]", "Baud= 115200,N,8,1"}));
  test::SimProcess sim;
  QVERIFY(sim.start({"--link-port", folder_->path(), "--downloads", "1"}));
  QCOMPARE(QFileInfo(path("COM8")).symLinkTarget(), sim.slavePath());
  const Finished run = RunLoad({"--log", path("loads.csv"), logo_}, {}, program);
  QVERIFY2(run.status == 0, qPrintable(run.err));
  QVERIFY(sim.waitForExit());
}

// The settings name COM 8, which leads to an adapter that is gone.
void LoadProgramTest::portFromOptionThenEnvironmentThenSettings_data() {
  QTest::addColumn<QString>("variable");  // KESTREL_PORT; null: not set
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("said");
  QTest::newRow("KESTREL_PORT over the settings") << "<pty>" << QStringList() << 0 << "loaded";
  QTest::newRow("--port over KESTREL_PORT")
      << "<folder>/no-such-tty" << QStringList{"--port", "<pty>"} << 0 << "loaded";
  QTest::newRow("empty KESTREL_PORT is unset: the settings")
      << "" << QStringList() << 2 << "COM8 (<folder>/COM8)";
  QTest::newRow("bad KESTREL_PORT is a usage error")
      << "COM0" << QStringList() << 64 << "bad port \"COM0\" in KESTREL_PORT";
}

void LoadProgramTest::portFromOptionThenEnvironmentThenSettings() {
  QFETCH(QString, variable);
  QFETCH(QStringList, arguments);
  QFETCH(int, status);
  QFETCH(QString, said);
  // The program reads the settings beside itself: a copy of it in the test's folder.
  const QString program = path("kestrel-load");
  QVERIFY(QFile::copy(Program(), program));
  QVERIFY(folder_->writeIni({"[SerialPort]", "CommPort= 8"}));
  QVERIFY(folder_->linkPort(8, path("gone")));
  test::SimProcess sim;
  QVERIFY(sim.start({"--delay", "0"}));
  const auto filled = [&](QString text) {
    return text.replace(QStringLiteral("<pty>"), sim.slavePath())
        .replace(QStringLiteral("<folder>"), folder_->path());
  };
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  if (!variable.isNull()) environment.insert(QLatin1String(cli::kPortVariable), filled(variable));
  for (QString& argument : arguments) argument = filled(argument);

  const Finished run =
      RunLoad(arguments + QStringList{"--log", path("loads.csv"), logo_}, {}, program, environment);
  QCOMPARE(run.status, status);
  QVERIFY2(run.err.contains(filled(said)), qPrintable(run.err));
}

void LoadProgramTest::portListsAndTheSamePortTwice_data() {
  QTest::addColumn<QStringList>("arguments");  // "<folder>" stands for the program's folder
  QTest::addColumn<QString>("variable");       // KESTREL_PORT
  QTest::addColumn<QString>("parsed");         // the ports, or the error
  QTest::newRow("repeated and listed")
      << QStringList{"-p", "COM1, COM3", "--port", "/dev/ttyUSB4"} << "COM2"
      << "COM1|COM3|/dev/ttyUSB4";
  QTest::newRow("a list in KESTREL_PORT") << QStringList() << "COM2,ttyUSB0" << "COM2|ttyUSB0";
  QTest::newRow("an empty one")
      << QStringList{"-p", "COM1,,COM3"} << QString() << "an empty port in \"COM1,,COM3\"";
  QTest::newRow("a bare name and its device")
      << QStringList{"-p", "ttyUSB7", "-p", "/dev/ttyUSB7"} << QString()
      << "ttyUSB7 and /dev/ttyUSB7 are the same port (/dev/ttyUSB7)";
  QTest::newRow("a COM number and the device its link leads to")
      << QStringList() << "COM3,<folder>/tty-a"
      << "COM3 and <folder>/tty-a in KESTREL_PORT are the same port (<folder>/tty-a)";
}

void LoadProgramTest::portListsAndTheSamePortTwice() {
  QFETCH(QStringList, arguments);
  QFETCH(QString, variable);
  QFETCH(QString, parsed);
  QVERIFY(test::WriteBytes(path("tty-a"), {}));
  QVERIFY(folder_->linkPort(3, path("tty-a")));
  const cli::ParsedLoadCommand p = cli::ParseLoadCommandLine(
      QStringList{"kestrel-load"} + arguments + QStringList{"logo.bmp"},
      QString(variable).replace(QStringLiteral("<folder>"), folder_->path()));
  QCOMPARE(p.error.isEmpty() ? p.command.ports.join(QLatin1Char('|')) : p.error,
           parsed.replace(QStringLiteral("<folder>"), folder_->path()));
}

void LoadProgramTest::shortOptionsMeanTheirLongForms_data() {
  QTest::addColumn<QStringList>("shortForm");
  QTest::addColumn<QStringList>("longForm");
  QTest::newRow("-p") << QStringList{"-p", "COM3"} << QStringList{"--port", "COM3"};
  QTest::newRow("-p, value attached")
      << QStringList{"-p/dev/ttyUSB1"} << QStringList{"--port", "/dev/ttyUSB1"};
  QTest::newRow("-b") << QStringList{"-b", "115200"} << QStringList{"--baud", "115200"};
  QTest::newRow("-q") << QStringList{"-q"} << QStringList{"--quiet"};
  QTest::newRow("-v") << QStringList{"-v"} << QStringList{"--trace"};
  QTest::newRow("-qv") << QStringList{"-qv"} << QStringList{"--quiet", "--trace"};
}

void LoadProgramTest::shortOptionsMeanTheirLongForms() {
  QFETCH(QStringList, shortForm);
  QFETCH(QStringList, longForm);
  const auto parsed = [](const QStringList& options) {
    const cli::ParsedLoadCommand p =
        cli::ParseLoadCommandLine(QStringList{"kestrel-load"} + options + QStringList{"logo.bmp"});
    const cli::LoadCommandLine& c = p.command;
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
        .arg(p.error, c.ports.join(QLatin1Char(',')), c.picture, c.conversionOptions.join(' '))
        .arg(c.baud)
        .arg(c.quiet)
        .arg(c.trace);
  };
  QCOMPARE(parsed(shortForm), parsed(longForm));
  QVERIFY2(parsed(longForm).startsWith(QLatin1Char('|')), qPrintable(parsed(longForm)));
  QVERIFY(parsed(longForm) != parsed({}));
}

void LoadProgramTest::everyProgramAnswersHelpVersionAndUsageErrors_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QString>("argument");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("language");  // LANG
  QTest::addColumn<QString>("usage");     // how --help starts
  for (const char* program :
       {"kestrel-load", "kestrel-logo-convert", "kestrel-sim", "kestrel-logo-loader"}) {
    QTest::addRow("%s --help", program) << program << "--help" << 0 << "C"
                                        << "Usage: ";
    QTest::addRow("%s --version", program) << program << "--version" << 0 << "C" << QString();
    QTest::addRow("%s, an unknown option", program)
        << program << "--no-such-option" << 64 << "C" << QString();
  }
  // The developer's simulator stays English.
  for (const char* program : {"kestrel-load", "kestrel-logo-convert", "kestrel-logo-loader"})
    QTest::addRow("%s --help in Spanish", program) << program << "--help" << 0 << "es_ES.UTF-8"
                                                   << "Uso: ";
}

// Without a display, as the window's program answers its command line before it needs one.
void LoadProgramTest::everyProgramAnswersHelpVersionAndUsageErrors() {
  QFETCH(QString, program);
  QFETCH(QString, argument);
  QFETCH(int, status);
  QFETCH(QString, language);
  QFETCH(QString, usage);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name :
       {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LC_ALL", "LC_MESSAGES", "LANGUAGE"})
    environment.remove(QLatin1String(name));
  environment.insert(QStringLiteral("LANG"), language);
  const Finished run =
      RunLoad({argument}, {}, QStringLiteral(KESTREL_BIN_DIR "/") + program, environment);
  QCOMPARE(run.status, status);
  if (status != 0) {
    QCOMPARE(run.out, QString());
    QVERIFY2(run.err.startsWith(program + QStringLiteral(": ")), qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("no-such-option")), qPrintable(run.err));
  } else if (argument == QLatin1String("--version")) {
    QCOMPARE(run.out, program + QLatin1Char(' ') + QLatin1String(kVersionText) + QLatin1Char('\n'));
  } else {
    QVERIFY2(run.out.startsWith(usage + program), qPrintable(run.out));
    QCOMPARE(run.err, QString());
  }
}

void LoadProgramTest::bashCompletionOffersOptionsAndValues_data() {
  QTest::addColumn<QStringList>("words");  // the command line up to the word being completed
  QTest::addColumn<QStringList>("offered");
  QTest::newRow("options") << QStringList{"kestrel-load", "--b"}
                           << QStringList{"--background", "--baud"};
  QTest::newRow("speed after -b") << QStringList{"kestrel-load", "-b", "11"}
                                  << QStringList{"115200"};
  QTest::newRow("COM numbers after --port=")
      << QStringList{"kestrel-load", "--port", "=", "COM"}
      << QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"};
  QTest::newRow("the port after a comma")
      << QStringList{"kestrel-load", "-p", "COM2,CO"} << QStringList{"COM2,COM1", "COM2,COM8"};
  QTest::newRow("pictures only") << QStringList{"kestrel-load", "<folder>/"}
                                 << QStringList{"<folder>/logo.bmp"};
  QTest::newRow("the simulator's option on a line of its own")
      << QStringList{"kestrel-sim", "--adapter-l"} << QStringList{"--adapter-latency"};
}

void LoadProgramTest::bashCompletionOffersOptionsAndValues() {
  QFETCH(QStringList, words);
  QFETCH(QStringList, offered);
  const QString bash = QStandardPaths::findExecutable(QStringLiteral("bash"));
  if (bash.isEmpty()) QSKIP("no bash");
  QVERIFY(folder_->writeIni({"[SerialPort]", "CommPort= 8"}));  // a file that is no picture
  words.front().prepend(QStringLiteral(KESTREL_BIN_DIR "/"));
  words.replaceInStrings(QStringLiteral("<folder>"), folder_->path());
  offered.replaceInStrings(QStringLiteral("<folder>"), folder_->path());
  const Finished run =
      RunLoad(QStringList{"-c", R"(. "$0" && COMP_WORDS=("$@") && COMP_CWORD=$(($# - 1)) &&
                           _kestrel_complete && printf '%s\n' "${COMPREPLY[@]}")",
                          QStringLiteral(KESTREL_SOURCE_DIR "/packaging/kestrel-completion.bash")} +
                  words,
              {}, bash);
  QCOMPARE(run.err, QString());
  QStringList got = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  got.sort();  // bash shows them sorted
  // Beside COM numbers come the serial devices and assignments this machine has.
  if (offered.front().startsWith(QLatin1String("COM"))) {
    for (const QString& com : offered) QVERIFY2(got.contains(com), qPrintable(run.out));
    return;
  }
  QCOMPARE(got, offered);
}

QTEST_GUILESS_MAIN(LoadProgramTest)
#include "tst_loadprogram.moc"
