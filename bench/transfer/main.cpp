// kestrel-bench-transfer: times full logo downloads against kestrel-sim on a pseudo-terminal.
// Prints, per line speed, the wall time of a download, the loader's CPU time and how close the
// download comes to what the wire itself allows; then kestrel-load as a whole process, on one
// port and on eight at once (eight simulators). With --soak N it instead presses Send N times
// in a row on one open port and checks that every download lands and the loader's memory stays
// flat.
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "app/loadersession.h"
#include "logo/logobitmap.h"
#include "port/serialcomm.h"
#include "settings/programfolder.h"
#include "texts/usertexts.h"

using namespace kestrel;

namespace {

// 3 (empty) + 16 (header) + 128 x 40 + 28 (last block) + 14 (logo information) bytes out,
// and an ACK CR for each of the 131 awaited frames.
constexpr int kFrames = 132;
constexpr int kExchanges = kFrames - 1;
constexpr int kBytesOut = 5181;
constexpr int kBytesBack = kExchanges * 2;
constexpr int kBitsPerByte = 10;
constexpr double kUnpacedGoalSeconds = 0.050;
constexpr double kPacedGoalRatio = 1.05;
constexpr double kCpuGoalShare = 0.05;

// kestrel-load as a whole process: its start-up is timed on --version.
constexpr int kLoaderProcessRuns = 5;
constexpr int kLoaderProcessBaud = 115200;
constexpr double kLoaderProcessGoalRatio = 1.10;
constexpr int kLoaderProcessTimeoutMs = 20000;

// kestrel-load on eight ports at once, each its own simulator linked as COMn, against one port.
constexpr int kPortsTogether = 8;
constexpr int kPortsTogetherRuns = 5;
constexpr double kPortsTogetherGoalRatio = 1.15;

constexpr int kSoakWindow = 100;                  // downloads at each end compared for memory
constexpr qint64 kSoakGrowthLimit = 1024 * 1024;  // bytes the last window may exceed the first
constexpr int kSoakGiveUpAfter = 10;              // failures in a row: the rig itself is broken
constexpr int kSimReportWaitMs = 5000;

double WireLimitSeconds(int baud) { return double(kBytesOut + kBytesBack) * kBitsPerByte / baud; }

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Resident set now, in bytes; -1 where /proc is missing.
qint64 ResidentBytes() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return -1;
  long long size = 0;
  long long resident = -1;
  const int got = std::fscanf(f, "%lld %lld", &size, &resident);
  std::fclose(f);
  if (got != 2 || resident < 0) return -1;
  return qint64(resident) * sysconf(_SC_PAGESIZE);
}

// The peak resident set of the whole run (VmHWM), in bytes; -1 where /proc is missing.
qint64 PeakResidentBytes() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  qint64 peak = -1;
  while (std::fgets(line, sizeof line, f)) {
    long long kib = 0;
    if (std::sscanf(line, "VmHWM: %lld kB", &kib) == 1) {
      peak = qint64(kib) * 1024;
      break;
    }
  }
  std::fclose(f);
  return peak;
}

QString MiB(qint64 bytes) {
  if (bytes < 0) return QStringLiteral("unknown");
  return QStringLiteral("%1 MiB").arg(double(bytes) / (1024 * 1024), 0, 'f', 2);
}

// Counts frames and replies from the link engine's signals, so a download that ended quietly
// early is not taken for one that went through, and sums the loader's own share of each
// exchange: reply line complete -> next frame written.
struct WireTally {
  qint64 replyAtNs = -1;
  qint64 turnaroundNs = 0;
  int framesWritten = 0;
  int repliesReceived = 0;

  void reset() { *this = WireTally{}; }
};

LogoRaster BenchLogo(int variant) {
  LogoRaster logo{};
  for (int v = 0; v < kLogoBytes; ++v)
    logo[v] = static_cast<uint8_t>(((v * 37) ^ (v >> 3)) + variant * 11);
  return logo;
}

// What the simulator said about finished downloads, read from its stderr as it comes.
struct SimTally {
  int downloads = 0;
  int matches = 0;
  int mismatches = 0;      // by the simulator's own sum, or not the sum of the logo we sent
  QStringList otherLines;  // anything else is a complaint: bad frames, incomplete downloads
};

// One simulator and, as the program holds them, one loader session on the simulator's
// terminal.
class Rig {
 public:
  Rig() : session_(std::make_unique<SerialComm>()) {
    LinkEngine& link = session_.link();
    QObject::connect(&link, &LinkEngine::frameWritten, &link, [this](const QByteArray&, qint64 at) {
      if (wire_.replyAtNs >= 0) wire_.turnaroundNs += at - wire_.replyAtNs;
      wire_.replyAtNs = -1;
      ++wire_.framesWritten;
    });
    QObject::connect(&link, &LinkEngine::replyReceived, &link,
                     [this](const QByteArray&, qint64 at) {
                       if (wire_.replyAtNs >= 0) return;  // a second line before the next frame
                       wire_.replyAtNs = at;
                       ++wire_.repliesReceived;
                     });
    QObject::connect(&sim_, &QProcess::readyReadStandardError, &sim_, [this] { readSim(); });
  }

  ~Rig() {
    port().close();
    if (sim_.state() != QProcess::NotRunning) {
      sim_.terminate();
      if (!sim_.waitForFinished(3000)) sim_.kill();
      sim_.waitForFinished(1000);
    }
    SetProgramFolder(QString());
  }

  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  // Starts the simulator with its terminal linked as COM1 and opens the port to it.
  bool start(const QString& program, int baud, QString* error, const QStringList& simOptions = {}) {
    if (!folder_.isValid()) {
      *error = QStringLiteral("no temporary folder");
      return false;
    }
    SetProgramFolder(folder_.path());
    QStringList arguments{QStringLiteral("--link"), folder_.filePath(QStringLiteral("COM1"))};
    if (baud > 0) arguments << QStringLiteral("--baud") << QString::number(baud);
    arguments << simOptions;
    sim_.setProcessChannelMode(QProcess::SeparateChannels);
    sim_.start(program, arguments);
    if (!sim_.waitForStarted(5000) || !sim_.waitForReadyRead(5000)) {
      readSim();
      *error = QStringLiteral("simulator did not start: %1 %2")
                   .arg(sim_.errorString(), tally_.otherLines.join(QLatin1Char(' ')));
      return false;
    }
    sim_.readAllStandardOutput();                  // the terminal's path; the link is what we use
    sim_.setReadChannel(QProcess::StandardError);  // reports from here on
    try {
      PortConnection& connection = session_.connection();
      connection.setComNumber(1);
      LineSettings settings;
      settings.baud = baud > 0 ? baud : 115200;
      connection.setLineSettings(settings);
      connection.ensureOpen();
    } catch (const CommError& e) {
      *error =
          QStringLiteral("cannot open the simulator's terminal: %1").arg(texts::CommErrorText(e));
      return false;
    }
    return true;
  }

  // One press of Send. False with the reason when the download did not go through whole.
  bool download(const LogoRaster& logo, QString* error) {
    wire_.reset();
    expectedSums_.push_back(LogoChecksum(logo));
    std::optional<TransferOutcome> outcome;
    QEventLoop wait;
    QObject::connect(&session_.transfer(), &LogoTransfer::ended, &wait,
                     [&](const TransferOutcome& ended) {
                       outcome = ended;
                       wait.quit();
                     });
    if (session_.transfer().start(logo)) wait.exec();
    if (!outcome || !outcome->loaded()) {
      *error = QStringLiteral("message: %1")
                   .arg(outcome ? texts::OnOneLine(texts::TransferMessage(*outcome))
                                : QStringLiteral("a download was running"));
      return false;
    }
    if (wire_.framesWritten != kFrames || wire_.repliesReceived != kExchanges) {
      *error = QStringLiteral("ended quietly after %1 frames and %2 replies")
                   .arg(wire_.framesWritten)
                   .arg(wire_.repliesReceived);
      return false;
    }
    return true;
  }

  // Waits in the event loop until the simulator has reported `count` downloads.
  bool waitForSimDownloads(int count, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (tally_.downloads < count && clock.elapsed() < timeoutMs &&
           sim_.state() == QProcess::Running)
      sim_.waitForReadyRead(int(std::max<qint64>(1, timeoutMs - clock.elapsed())));
    readSim();
    return tally_.downloads >= count;
  }

  CommControl& port() { return session_.port(); }
  const WireTally& wire() const { return wire_; }
  const SimTally& simTally() const { return tally_; }

 private:
  void readSim() {
    simPending_ += sim_.readAllStandardError();
    static const QRegularExpression done(
        QStringLiteral("^download \\d+: .* computed ([0-9a-f]{4}): (match|MISMATCH)$"));
    qsizetype end;
    while ((end = simPending_.indexOf('\n')) >= 0) {
      const QString line = QString::fromLocal8Bit(simPending_.left(end));
      simPending_.remove(0, end + 1);
      const QRegularExpressionMatch m = done.match(line);
      if (!m.hasMatch()) {
        if (tally_.otherLines.size() < 20) tally_.otherLines << line;
        continue;
      }
      ++tally_.downloads;
      const uint16_t expected = expectedSums_.empty() ? 0 : expectedSums_.front();
      if (!expectedSums_.empty()) expectedSums_.pop_front();
      if (m.captured(2) == QLatin1String("match") && m.captured(1).toUInt(nullptr, 16) == expected)
        ++tally_.matches;
      else
        ++tally_.mismatches;
    }
  }

  QTemporaryDir folder_;
  QProcess sim_;
  QByteArray simPending_;
  std::deque<uint16_t> expectedSums_;  // of downloads the simulator has not reported yet
  SimTally tally_;
  WireTally wire_;
  LoaderSession session_;
};

struct Scenario {
  const char* name;
  int baud;  // 0: the simulator answers as fast as it can
  int runs;
};

struct Sample {
  double wall;
  double cpu;
  double turnaround;  // summed over the exchanges: reply line complete -> next frame written
};

double Median(QList<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

bool RunScenario(const QString& simProgram, const Scenario& scenario, QList<Sample>& samples,
                 QString* error) {
  Rig rig;
  if (!rig.start(simProgram, scenario.baud, error)) return false;
  const LogoRaster logo = BenchLogo(0);
  for (int run = 0; run < scenario.runs; ++run) {
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    if (!rig.download(logo, error)) return false;
    const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpuSeconds = CpuSeconds() - cpuBefore;
    samples.append({wallSeconds, cpuSeconds, double(rig.wire().turnaroundNs) / 1e9});
  }
  if (!rig.waitForSimDownloads(scenario.runs, kSimReportWaitMs) ||
      rig.simTally().matches != scenario.runs) {
    *error = QStringLiteral("the simulator confirmed %1 of %2 downloads")
                 .arg(rig.simTally().matches)
                 .arg(scenario.runs);
    return false;
  }
  return true;
}

// What a USB-serial adapter's latency timer costs a download at 115200 baud: the simulator holds
// each answer as the adapter would, with the common default of 16 ms and with the 1 ms that the
// driver's low-latency mode (or latency_timer = 1) gives. False when a download failed.
bool RunAdapterLatency(const QString& simProgram) {
  constexpr int kBaud = 115200;
  struct Row {
    int latencyMs;
    const char* what;
    int runs;
  };
  const Row rows[] = {{0, "no adapter", 5}, {16, "default", 3}, {1, "low latency", 5}};

  std::printf(
      "\nAdapter latency timer at %d baud: each answer held until the timer runs out.\n"
      "Wall time of a whole download (the wire alone: %.1f ms): median, fastest and slowest\n"
      "run, and what the timer adds to each of the %d acknowledged frames.\n\n",
      kBaud, WireLimitSeconds(kBaud) * 1000, kExchanges);
  std::printf("%-22s %4s %10s %10s %10s %12s\n", "latency", "runs", "wall", "fastest", "slowest",
              "per exchange");
  bool allRan = true;
  double baseline = -1;
  for (const Row& row : rows) {
    const QString name = QStringLiteral("%1 ms (%2)").arg(row.latencyMs).arg(row.what);
    Rig rig;
    QString error;
    QList<double> walls;
    bool ran = rig.start(simProgram, kBaud, &error,
                         {QStringLiteral("--adapter-latency"), QString::number(row.latencyMs)});
    for (int run = 0; ran && run < row.runs; ++run) {
      QElapsedTimer wall;
      wall.start();
      ran = rig.download(BenchLogo(0), &error);
      walls << double(wall.nsecsElapsed()) / 1e9;
    }
    if (ran && (!rig.waitForSimDownloads(row.runs, kSimReportWaitMs) ||
                rig.simTally().matches != row.runs)) {
      error = QStringLiteral("the simulator confirmed %1 of %2 downloads")
                  .arg(rig.simTally().matches)
                  .arg(row.runs);
      ran = false;
    }
    if (!ran) {
      std::printf("%-22s failed: %s\n", qPrintable(name), qPrintable(error));
      allRan = false;
      continue;
    }
    const double wall = Median(walls);
    if (row.latencyMs == 0) baseline = wall;
    const QString added =
        row.latencyMs == 0 || baseline < 0
            ? QStringLiteral("-")
            : QString::asprintf("%+.2f ms", (wall - baseline) / kExchanges * 1000);
    std::printf("%-22s %4d %7.1f ms %7.1f ms %7.1f ms %12s\n", qPrintable(name), row.runs,
                wall * 1000, *std::min_element(walls.begin(), walls.end()) * 1000,
                *std::max_element(walls.begin(), walls.end()) * 1000, qPrintable(added));
  }
  return allRan;
}

// Wall time of one run of a program to its end; negative when it failed or did not end.
double ProcessSeconds(const QString& program, const QStringList& arguments,
                      QByteArray* output = nullptr) {
  QProcess process;
  QElapsedTimer wall;
  wall.start();
  process.start(program, arguments);
  if (!process.waitForFinished(kLoaderProcessTimeoutMs) ||
      process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
    return -1;
  const double seconds = double(wall.nsecsElapsed()) / 1e9;
  if (output) *output = process.readAllStandardOutput();
  return seconds;
}

// From a --trace: how long after the download began its first frame was written, which is
// the opening of the port. Negative when the trace does not say.
double FirstFrameSeconds(const QByteArray& trace) {
  static const QRegularExpression first(QStringLiteral("^\\s*([0-9.]+) ms > "));
  const QRegularExpressionMatch m = first.match(QString::fromLatin1(trace.left(200)));
  return m.hasMatch() ? m.captured(1).toDouble() / 1000 : -1;
}

// kestrel-load as a user runs it, one process per download, against the simulator paced at
// 115200 baud: whole-process wall time against the wire's limit plus the program's start-up.
// Returns false when it could not run; *met tells the goal. sessionWall: the in-process
// download at the same speed, for comparison (0 when not measured).
bool RunLoaderProcessBench(const QString& simProgram, double sessionWall, bool* met) {
  const QString loader = QCoreApplication::applicationDirPath() + QStringLiteral("/kestrel-load");
  std::printf("\nkestrel-load, whole process, %d runs at %d baud (medians):\n", kLoaderProcessRuns,
              kLoaderProcessBaud);
  QTemporaryDir folder;
  const QString logo = folder.filePath(QStringLiteral("logo.bmp"));
  QFile file(logo);
  const QByteArray bitmap = EncodeLogoBitmap(BenchLogo(0));
  if (!QFileInfo(loader).isExecutable() || !folder.isValid() || !file.open(QIODevice::WriteOnly) ||
      file.write(bitmap) != bitmap.size()) {
    std::printf("  not run: %s or a temporary logo missing\n", qPrintable(loader));
    return false;
  }
  file.close();

  QProcess sim;
  sim.start(simProgram, {QStringLiteral("--baud"), QString::number(kLoaderProcessBaud)});
  if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
    std::printf("  not run: the simulator did not start\n");
    return false;
  }
  const QString terminal = QString::fromLocal8Bit(sim.readLine()).trimmed();

  QList<double> startups;
  QList<double> opens;
  QList<double> downloads;
  for (int run = 0; run < kLoaderProcessRuns; ++run) {
    startups << ProcessSeconds(loader, {QStringLiteral("--version")});
    QByteArray trace;
    downloads << ProcessSeconds(
        loader,
        {QStringLiteral("--trace"), QStringLiteral("--port"), terminal, QStringLiteral("--baud"),
         QString::number(kLoaderProcessBaud), QStringLiteral("--log"),
         folder.filePath(QStringLiteral("loads.csv")), logo},
        &trace);
    opens << FirstFrameSeconds(trace);
  }
  sim.terminate();
  if (!sim.waitForFinished(3000)) sim.kill();
  if (*std::min_element(startups.begin(), startups.end()) < 0 ||
      *std::min_element(opens.begin(), opens.end()) < 0 ||
      *std::min_element(downloads.begin(), downloads.end()) < 0) {
    std::printf("  failed: a run of kestrel-load did not end with status 0\n");
    return false;
  }

  // Start-up: the process to its end with nothing to do (--version), and then the opening of
  // the serial port before the first frame (Qt's lock file, synced to disk, is most of it).
  const double process = Median(startups);
  const double open = Median(opens);
  const double startup = process + open;
  const double wall = Median(downloads);
  const double limit = WireLimitSeconds(kLoaderProcessBaud);
  const double goal = kLoaderProcessGoalRatio * limit + startup;
  *met = wall <= goal;
  std::printf("  start-up: process (--version) %7.1f ms + port opening %5.1f ms = %7.1f ms\n",
              process * 1000, open * 1000, startup * 1000);
  std::printf("  wire limit                    %7.1f ms\n", limit * 1000);
  std::printf(
      "  whole process                 %7.1f ms  (beyond start-up: %.1f ms, %.3f x the wire)\n",
      wall * 1000, (wall - startup) * 1000, (wall - startup) / limit);
  if (sessionWall > 0)
    std::printf("  beyond start-up against the in-process download above: %.3f\n",
                (wall - startup) / sessionWall);
  std::printf("  goal: <= %.2f x wire + start-up = %.1f ms: %s\n", kLoaderProcessGoalRatio,
              goal * 1000, *met ? "met" : "MISSED");
  return true;
}

// One run of kestrel-load --json: wall time and the longest download it reported; negative
// unless every one of `downloads` loaded.
struct PortsRun {
  double wall = -1;
  double longestDownload = -1;
};

PortsRun RunPortsTogether(const QString& loader, const QStringList& arguments, int downloads) {
  PortsRun run;
  QByteArray out;
  const double wall = ProcessSeconds(loader, arguments, &out);
  const QList<QByteArray> lines = out.split('\n');
  int loaded = 0;
  double longest = 0;
  for (const QByteArray& line : lines) {
    const QJsonObject download = QJsonDocument::fromJson(line).object();
    if (download.value(QStringLiteral("result")).toString() != QLatin1String("loaded")) continue;
    ++loaded;
    longest = std::max(longest, download.value(QStringLiteral("duration_ms")).toDouble() / 1000);
  }
  if (wall < 0 || loaded != downloads) return run;
  run.wall = wall;
  run.longestDownload = longest;
  return run;
}

// kestrel-load with eight ports on one command line, each played by its own simulator at
// 115200 baud and linked as COM1 to COM8 beside a copy of the program, against the same
// program on COM1 alone: whole-process wall time and the longest download, medians of runs
// taken in turn. Returns false when it could not run; *met tells the goal.
bool RunPortsTogetherBench(const QString& simProgram, bool* met) {
  std::printf("\nkestrel-load, %d ports at once against one, %d runs each at %d baud (medians):\n",
              kPortsTogether, kPortsTogetherRuns, kLoaderProcessBaud);
  QTemporaryDir folder;
  const QString loader = folder.filePath(QStringLiteral("kestrel-load"));
  const QString logo = folder.filePath(QStringLiteral("logo.bmp"));
  QFile file(logo);
  const QByteArray bitmap = EncodeLogoBitmap(BenchLogo(0));
  if (!folder.isValid() ||
      !QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/kestrel-load"),
                   loader) ||
      !file.open(QIODevice::WriteOnly) || file.write(bitmap) != bitmap.size()) {
    std::printf("  not run: kestrel-load or a temporary logo missing\n");
    return false;
  }
  file.close();

  // COMn beside the program: the program finds its device as a user's station would.
  std::vector<std::unique_ptr<QProcess>> sims;
  QStringList ports;
  for (int n = 1; n <= kPortsTogether; ++n) {
    auto& sim = sims.emplace_back(std::make_unique<QProcess>());
    sim->start(simProgram, {QStringLiteral("--link"), folder.filePath(QStringLiteral("COM%1").arg(n)),
                            QStringLiteral("--baud"), QString::number(kLoaderProcessBaud)});
    if (!sim->waitForStarted(5000) || !sim->waitForReadyRead(5000)) {
      std::printf("  not run: simulator %d did not start\n", n);
      return false;
    }
    ports << QStringLiteral("COM%1").arg(n);
  }
  const auto arguments = [&](const QStringList& chosen) {
    return QStringList{QStringLiteral("--port"), chosen.join(QLatin1Char(',')),
                       QStringLiteral("--baud"), QString::number(kLoaderProcessBaud),
                       QStringLiteral("--json"), QStringLiteral("--log"),
                       folder.filePath(QStringLiteral("loads.csv")), logo};
  };
  QList<double> oneWalls, oneDownloads, allWalls, allDownloads;
  bool ran = true;
  for (int run = 0; ran && run < kPortsTogetherRuns; ++run) {
    const PortsRun one = RunPortsTogether(loader, arguments({ports.front()}), 1);
    const PortsRun all = RunPortsTogether(loader, arguments(ports), kPortsTogether);
    ran = one.wall > 0 && all.wall > 0;
    oneWalls << one.wall;
    oneDownloads << one.longestDownload;
    allWalls << all.wall;
    allDownloads << all.longestDownload;
  }
  // Every simulator confirms each logo it got.
  int confirmed = 0;
  for (auto& sim : sims) {
    sim->terminate();
    if (!sim->waitForFinished(3000)) sim->kill();
    confirmed += int(sim->readAllStandardError().count(": match\n"));
  }
  const int expected = kPortsTogetherRuns * (kPortsTogether + 1);
  if (!ran || confirmed != expected) {
    std::printf("  failed: a download did not load, or the simulators confirmed %d of %d\n",
                confirmed, expected);
    return false;
  }
  const double oneWall = Median(oneWalls);
  const double allWall = Median(allWalls);
  const double ratio = allWall / oneWall;
  const double downloadRatio = Median(allDownloads) / Median(oneDownloads);
  *met = ratio <= kPortsTogetherGoalRatio;
  std::printf("  %-12s whole process %7.1f ms, longest download %7.1f ms\n", "one port",
              oneWall * 1000, Median(oneDownloads) * 1000);
  std::printf("  %d ports%5s whole process %7.1f ms, longest download %7.1f ms\n", kPortsTogether,
              "", allWall * 1000, Median(allDownloads) * 1000);
  std::printf("  %d ports against one: %.3f (whole process), %.3f (longest download)\n",
              kPortsTogether, ratio, downloadRatio);
  std::printf("  goal: whole process <= %.2f x one port's: %s\n", kPortsTogetherGoalRatio,
              *met ? "met" : "MISSED");
  return true;
}

int RunBenchmark(const QString& simProgram) {
  const Scenario scenarios[] = {
      {"unpaced", 0, 21}, {"115200 baud", 115200, 5}, {"9600 baud", 9600, 1}};

  std::printf("Full logo download (%d frames, %d bytes out, %d back) against %s\n", kFrames,
              kBytesOut, kBytesBack, qPrintable(simProgram));
  std::printf(
      "over a pseudo-terminal; medians of the runs. \"turnaround\" is the loader's own\n"
      "share: from each reply line complete to the next frame written, summed.\n\n");
  std::printf("%-12s %4s %10s %10s %8s %10s %10s %7s\n", "line", "runs", "wall", "CPU", "CPU/wall",
              "turnaround", "wire limit", "ratio");

  QStringList verdicts;
  bool allMet = true;
  bool allRan = true;
  double sessionWall = 0;  // the in-process download at kestrel-load's speed
  for (const Scenario& scenario : scenarios) {
    QList<Sample> samples;
    QString error;
    if (!RunScenario(simProgram, scenario, samples, &error)) {
      std::printf("%-12s failed: %s\n", scenario.name, qPrintable(error));
      allRan = false;
      continue;
    }
    QList<double> walls;
    QList<double> cpus;
    QList<double> turnarounds;
    for (const Sample& s : samples) {
      walls << s.wall;
      cpus << s.cpu;
      turnarounds << s.turnaround;
    }
    const double wall = Median(walls);
    const double cpu = Median(cpus);
    const double turnaround = Median(turnarounds);
    const double share = cpu / wall;
    const QString name = QString::fromLatin1(scenario.name);

    if (scenario.baud == 0) {
      std::printf("%-12s %4lld %7.1f ms %7.1f ms %6.1f %% %7.1f ms %10s %7s\n", scenario.name,
                  static_cast<long long>(samples.size()), wall * 1000, cpu * 1000, share * 100,
                  turnaround * 1000, "-", "-");
      const bool met = wall < kUnpacedGoalSeconds;
      verdicts << QStringLiteral("%1: wall %2 ms < %3 ms: %4 (%5 us an exchange)")
                      .arg(name)
                      .arg(wall * 1000, 0, 'f', 1)
                      .arg(kUnpacedGoalSeconds * 1000)
                      .arg(met ? "met" : "MISSED")
                      .arg(wall / kFrames * 1e6, 0, 'f', 0);
      allMet = allMet && met;
    } else {
      const double limit = WireLimitSeconds(scenario.baud);
      const double ratio = wall / limit;
      if (scenario.baud == kLoaderProcessBaud) sessionWall = wall;
      std::printf("%-12s %4lld %7.1f ms %7.1f ms %6.1f %% %7.1f ms %7.1f ms %7.3f\n", scenario.name,
                  static_cast<long long>(samples.size()), wall * 1000, cpu * 1000, share * 100,
                  turnaround * 1000, limit * 1000, ratio);
      const bool ratioMet = ratio <= kPacedGoalRatio;
      const bool cpuMet = share < kCpuGoalShare;
      verdicts << QStringLiteral("%1: wall/limit %2 <= %3: %4; CPU %5 % < %6 %: %7")
                      .arg(name)
                      .arg(ratio, 0, 'f', 3)
                      .arg(kPacedGoalRatio)
                      .arg(ratioMet ? "met" : "MISSED")
                      .arg(share * 100, 0, 'f', 1)
                      .arg(kCpuGoalShare * 100)
                      .arg(cpuMet ? "met" : "MISSED");
      // What is left beyond the wire is the two pseudo-terminal hops, the simulator's wake-ups
      // and the loader's turnaround.
      verdicts << QStringLiteral(
                      "%1: %2 us an exchange beyond the wire, of which the loader's turnaround "
                      "%3 us (%4 % of the wire limit)")
                      .arg(name)
                      .arg((wall - limit) / kExchanges * 1e6, 0, 'f', 0)
                      .arg(turnaround / kExchanges * 1e6, 0, 'f', 0)
                      .arg(turnaround / limit * 100, 0, 'f', 2);
      allMet = allMet && ratioMet && cpuMet;
    }
  }
  std::printf("\n");
  for (const QString& line : verdicts) std::printf("%s\n", qPrintable(line));
  bool loaderMet = false;
  allRan = RunLoaderProcessBench(simProgram, sessionWall, &loaderMet) && allRan;
  allMet = allMet && loaderMet;
  bool togetherMet = false;
  allRan = RunPortsTogetherBench(simProgram, &togetherMet) && allRan;
  allMet = allMet && togetherMet;
  std::printf("\n%s\n", !allRan  ? "Some downloads failed."
                        : allMet ? "All goals met."
                                 : "Some goals missed.");
  const bool latencyRan = RunAdapterLatency(simProgram);
  return allRan && latencyRan ? 0 : 1;
}

// Send pressed `count` times in a row on one open port against one unpaced simulator.
int RunSoak(const QString& simProgram, int count) {
  std::printf(
      "Soak: %d downloads in a row against one unpaced simulator (%s),\n"
      "one loader-side port, link engine and transfer.\n\n",
      count, qPrintable(simProgram));
  Rig rig;
  QString error;
  if (!rig.start(simProgram, 0, &error)) {
    std::printf("Soak failed: %s\n", qPrintable(error));
    return 1;
  }

  const int window = std::min(kSoakWindow, count);
  qint64 firstPeak = -1;
  qint64 lastPeak = -1;
  // Peak RSS of each stretch of downloads, to show a trend in about twenty figures at most.
  const int stretch =
      kSoakWindow * std::max(1, (count + 20 * kSoakWindow - 1) / (20 * kSoakWindow));
  qint64 stretchPeak = -1;
  QStringList stretches;
  int done = 0;
  int failures = 0;
  int failuresInARow = 0;
  QStringList failureLines;
  QElapsedTimer wall;
  wall.start();
  for (int run = 0; run < count; ++run) {
    QString why;
    if (rig.download(BenchLogo(run), &why)) {
      failuresInARow = 0;
    } else {
      ++failures;
      ++failuresInARow;
      if (failureLines.size() < 10)
        failureLines << QStringLiteral("download %1: %2").arg(run + 1).arg(why);
    }
    ++done;
    const qint64 rss = ResidentBytes();
    if (run < window) firstPeak = std::max(firstPeak, rss);
    if (run >= count - window) lastPeak = std::max(lastPeak, rss);
    stretchPeak = std::max(stretchPeak, rss);
    if ((run + 1) % stretch == 0) {
      stretches << QString::number(double(stretchPeak) / (1024 * 1024), 'f', 2);
      stretchPeak = -1;
    }
    if (failuresInARow >= kSoakGiveUpAfter) {
      failureLines << QStringLiteral("gave up after %1 failures in a row").arg(failuresInARow);
      break;
    }
  }
  if (stretchPeak >= 0) stretches << QString::number(double(stretchPeak) / (1024 * 1024), 'f', 2);
  const double seconds = double(wall.nsecsElapsed()) / 1e9;
  rig.waitForSimDownloads(done - failures, kSimReportWaitMs);
  const SimTally& tally = rig.simTally();
  const qint64 hwm = PeakResidentBytes();

  std::printf("downloads done       %d of %d, %d went through\n", done, count, done - failures);
  std::printf("failures             %d\n", failures);
  for (const QString& line : failureLines) std::printf("  %s\n", qPrintable(line));
  std::printf("simulator reports    %d downloads, %d with a matching checksum, %d not\n",
              tally.downloads, tally.matches, tally.mismatches);
  for (const QString& line : tally.otherLines) std::printf("  simulator: %s\n", qPrintable(line));
  std::printf("wall                 %.2f s, %.2f ms a download\n", seconds,
              done > 0 ? seconds * 1000 / done : 0.0);
  std::printf("loader RSS peak      first %d: %s, last %d: %s (growth allowed: %s)\n", window,
              qPrintable(MiB(firstPeak)), window, qPrintable(MiB(lastPeak)),
              qPrintable(MiB(kSoakGrowthLimit)));
  std::printf("RSS peak each %-6d %s MiB\n", stretch, qPrintable(stretches.join(QLatin1Char(' '))));
  std::printf("loader VmHWM at end  %s\n\n", qPrintable(MiB(hwm)));

  QStringList faults;
  if (done < count) faults << QStringLiteral("stopped early");
  if (failures > 0) faults << QStringLiteral("%1 downloads failed").arg(failures);
  if (tally.matches != done - failures || tally.mismatches > 0)
    faults << QStringLiteral("the simulator confirmed %1 of %2 downloads")
                  .arg(tally.matches)
                  .arg(done - failures);
  if (!tally.otherLines.isEmpty()) faults << QStringLiteral("the simulator complained");
  if (done == count) {  // the memory figures of a cut-short run compare nothing
    if (firstPeak < 0 || lastPeak < 0)
      faults << QStringLiteral("no resident-set figures on this system");
    else if (lastPeak - firstPeak > kSoakGrowthLimit)
      faults << QStringLiteral("memory grew by %1").arg(MiB(lastPeak - firstPeak));
  }
  if (faults.isEmpty()) {
    std::printf("Soak passed.\n");
    return 0;
  }
  std::printf("Soak FAILED: %s.\n", qPrintable(faults.join(QStringLiteral("; "))));
  return 1;
}

int Usage() {
  std::fprintf(stderr, "usage: kestrel-bench-transfer [--sim PATH] [--soak DOWNLOADS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // --sim PATH runs another build of the simulator (to tell its pacing from the loader's).
  QString simProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/kestrel-sim");
  int soak = 0;
  const QStringList arguments = app.arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (i + 1 >= arguments.size()) return Usage();
    if (arguments[i] == QLatin1String("--sim")) {
      simProgram = arguments[++i];
    } else if (arguments[i] == QLatin1String("--soak")) {
      bool ok = false;
      soak = arguments[++i].toInt(&ok);
      if (!ok || soak < 1) return Usage();
    } else {
      return Usage();
    }
  }
  if (!QFileInfo(simProgram).isExecutable()) {
    std::fprintf(stderr, "kestrel-bench-transfer: %s not found\n", qPrintable(simProgram));
    return 2;
  }
  return soak > 0 ? RunSoak(simProgram, soak) : RunBenchmark(simProgram);
}
