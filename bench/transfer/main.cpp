// kestrel-bench-transfer: times full logo downloads against kestrel-sim on a pseudo-terminal.
// Prints, per line speed, the wall time of a download, the loader's CPU time and how close the
// download comes to what the wire itself allows.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

#include "link/linkengine.h"
#include "link/logotransfer.h"
#include "port/portconnection.h"
#include "port/programfolder.h"
#include "port/serialcomm.h"

using namespace kestrel;

namespace {

// 3 (empty) + 16 (header) + 128 x 40 + 28 (last block) + 14 (logo information) bytes out,
// and an ACK CR for each of the 131 awaited frames.
constexpr int kBytesOut = 5181;
constexpr int kBytesBack = 131 * 2;
constexpr int kBitsPerByte = 10;
constexpr double kUnpacedGoalSeconds = 0.050;
constexpr double kPacedGoalRatio = 1.05;
constexpr double kCpuGoalShare = 0.05;

double WireLimitSeconds(int baud) {
  return double(kBytesOut + kBytesBack) * kBitsPerByte / baud;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class QuietView : public TransferView {
 public:
  void setOpenButtonEnabled(bool) override {}
  void setSendButtonEnabled(bool) override {}
  void setProgressRange(int, int) override {}
  void setProgressValue(int) override {}
  void setProgressVisible(bool) override {}
  void LockUserInterface() override {}
  void UnlockUserInterface() override {}
};

class QuietDisplay : public PortDisplay {
 public:
  void setPanelText(int, const QString&) override {}
  QString panelText(int) const override { return {}; }
  QString connectCaption() const override { return QStringLiteral("Close"); }
  void setConnectCaption(const QString&) override {}
  void setPortMenusEnabled(bool) override {}
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

// Stamps every write, so the loader's own share of each exchange can be told from the line's.
class TimedSerialComm : public SerialComm {
 public:
  QElapsedTimer clock;
  qint64 replyAtNs = -1;
  qint64 turnaroundNs = 0;

  void setOutput(const QByteArray& data) override {
    if (replyAtNs >= 0) turnaroundNs += clock.nsecsElapsed() - replyAtNs;
    replyAtNs = -1;
    SerialComm::setOutput(data);
  }
};

double Median(QList<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

LogoRaster BenchLogo() {
  LogoRaster logo{};
  for (int v = 0; v < kLogoBytes; ++v) logo[v] = static_cast<uint8_t>((v * 37) ^ (v >> 3));
  return logo;
}

// Starts the simulator with its terminal linked as COM1 in folder; false with a reason.
bool StartSimulator(QProcess& sim, const QString& program, const QString& folder, int baud,
                    QString* error) {
  QStringList arguments{QStringLiteral("--link"), folder + QStringLiteral("/COM1")};
  if (baud > 0) arguments << QStringLiteral("--baud") << QString::number(baud);
  sim.setProcessChannelMode(QProcess::SeparateChannels);
  sim.start(program, arguments);
  if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
    *error = QStringLiteral("simulator did not start: %1 %2")
                 .arg(sim.errorString(), QString::fromLocal8Bit(sim.readAllStandardError()));
    return false;
  }
  sim.readAllStandardOutput();  // the terminal's path; the link is what we use
  return true;
}

void StopSimulator(QProcess& sim) {
  sim.terminate();
  if (!sim.waitForFinished(3000)) sim.kill();
  sim.waitForFinished(1000);
}

bool RunScenario(const QString& simProgram, const Scenario& scenario, QList<Sample>& samples,
                 QString* error) {
  QTemporaryDir folder;
  if (!folder.isValid()) {
    *error = QStringLiteral("no temporary folder");
    return false;
  }
  SetProgramFolder(folder.path());
  QProcess sim;
  if (!StartSimulator(sim, simProgram, folder.path(), scenario.baud, error)) return false;

  bool ok = true;
  {
    TimedSerialComm port;
    port.clock.start();
    QStringList messages;
    MessageFn message = [&messages](const QString& text, const QString&) { messages << text; };
    QuietDisplay display;
    QuietView view;
    LinkEngine link(port);
    // Connected after the engine's own handler: runs once the line is complete.
    QObject::connect(&port, &CommControl::OnComm, &port, [&port] {
      if (port.Tag == QLatin1String(kStatusOk) && port.replyAtNs < 0)
        port.replyAtNs = port.clock.nsecsElapsed();
    });
    PortConnection connection(port, display, message);
    LogoTransfer transfer(link, connection, view, message);
    try {
      port.setCommPort(1);
      port.setSettings(
          QStringLiteral("%1,n,8,1").arg(scenario.baud > 0 ? scenario.baud : 115200));
      port.setInputLen(0);
      port.setRThreshold(1);
      port.setSThreshold(1);
      port.setPortOpen(true);
    } catch (const CommError& e) {
      *error = QStringLiteral("cannot open the simulator's terminal: %1").arg(e.description());
      ok = false;
    }

    const LogoRaster logo = BenchLogo();
    for (int run = 0; ok && run < scenario.runs; ++run) {
      port.turnaroundNs = 0;
      port.replyAtNs = -1;
      const double cpuBefore = CpuSeconds();
      QElapsedTimer wall;
      wall.start();
      transfer.cmdSend_Click(logo);
      const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;
      const double cpuSeconds = CpuSeconds() - cpuBefore;
      if (!messages.isEmpty()) {
        *error = QStringLiteral("download failed: %1").arg(messages.first().replace('\r', ' '));
        ok = false;
        break;
      }
      samples.append({wallSeconds, cpuSeconds, double(port.turnaroundNs) / 1e9});
    }
    try {
      port.setPortOpen(false);
    } catch (const CommError&) {
    }
  }
  StopSimulator(sim);
  SetProgramFolder(QString());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // --sim PATH runs another build of the simulator (to tell its pacing from the loader's).
  QString simProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/kestrel-sim");
  const QStringList arguments = app.arguments();
  if (const qsizetype at = arguments.indexOf(QStringLiteral("--sim")); at > 0) {
    if (at + 1 >= arguments.size()) {
      std::fprintf(stderr, "usage: kestrel-bench-transfer [--sim PATH]\n");
      return 2;
    }
    simProgram = arguments[at + 1];
  }
  if (!QFileInfo(simProgram).isExecutable()) {
    std::fprintf(stderr, "kestrel-bench-transfer: %s not found\n", qPrintable(simProgram));
    return 2;
  }

  const Scenario scenarios[] = {{"unpaced", 0, 21}, {"115200 baud", 115200, 5}, {"9600 baud", 9600, 1}};

  std::printf("Full logo download (132 frames, %d bytes out, %d back) against %s\n",
              kBytesOut, kBytesBack, qPrintable(simProgram));
  std::printf("over a pseudo-terminal; medians of the runs. \"turnaround\" is the loader's own\n"
              "share: from each reply line complete to the next frame written, summed.\n\n");
  std::printf("%-12s %4s %10s %10s %8s %10s %10s %7s\n", "line", "runs", "wall", "CPU",
              "CPU/wall", "turnaround", "wire limit", "ratio");

  QStringList verdicts;
  bool allMet = true;
  bool allRan = true;
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
                      .arg(wall / 132 * 1e6, 0, 'f', 0);
      allMet = allMet && met;
    } else {
      const double limit = WireLimitSeconds(scenario.baud);
      const double ratio = wall / limit;
      std::printf("%-12s %4lld %7.1f ms %7.1f ms %6.1f %% %7.1f ms %7.1f ms %7.3f\n",
                  scenario.name, static_cast<long long>(samples.size()), wall * 1000, cpu * 1000,
                  share * 100, turnaround * 1000, limit * 1000, ratio);
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
      verdicts << QStringLiteral("%1: loader turnaround %2 % of the wire limit")
                      .arg(name)
                      .arg(turnaround / limit * 100, 0, 'f', 2);
      allMet = allMet && ratioMet && cpuMet;
    }
  }
  std::printf("\n");
  for (const QString& line : verdicts) std::printf("%s\n", qPrintable(line));
  std::printf("\n%s\n", !allRan   ? "Some downloads failed."
                         : allMet ? "All goals met."
                                  : "Some goals missed.");
  return allRan ? 0 : 1;
}
