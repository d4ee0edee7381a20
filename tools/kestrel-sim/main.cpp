// kestrel-sim: plays a Kestrel II device on a pseudo-terminal (see --help).
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSerialPort>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "app/portconnection.h"
#include "files/fileaccess.h"
#include "kestrel/version.h"
#include "settings/portsettings.h"
#include "settings/programfolder.h"
#include "simoptions.h"
#include "simpty.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// SIGINT/SIGTERM end the event loop, so the cleanup below always runs.
bool InstallSignalHandlers(QCoreApplication& app) {
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
    char c;
    while (::read(g_signalPipe[0], &c, 1) > 0) {
    }
    QCoreApplication::exit(0);
  });
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  return true;
}

void PrintLine(FILE* stream, const QString& line) {
  std::fprintf(stream, "%s\n", line.toLocal8Bit().constData());
  std::fflush(stream);
}

// Another program holding the port: open it the way the loader would and wait.
int Hold(QCoreApplication& app, const QString& name) {
  // Links resolved, as the loader does, so both take the same lock.
  const QString resolved = QFileInfo(name).canonicalFilePath();
  const QString path = resolved.isEmpty() ? name : resolved;
  QSerialPort port(path);
  if (!port.open(QIODevice::ReadWrite)) {
    PrintLine(stderr,
              QStringLiteral("kestrel-sim: cannot hold %1: %2").arg(path, port.errorString()));
    return 1;
  }
  PrintLine(stdout, QStringLiteral("held %1").arg(path));
  // Drain whatever arrives so the port never stalls the other side.
  QObject::connect(&port, &QSerialPort::readyRead, &port, [&port] { port.readAll(); });
  QObject::connect(&port, &QSerialPort::errorOccurred, &app,
                   [&port](QSerialPort::SerialPortError e) {
                     if (e == QSerialPort::ResourceError || e == QSerialPort::ReadError) {
                       port.close();
                       QCoreApplication::exit(0);
                     }
                   });
  return app.exec();
}

// The port a loader in that folder opens, read as the loader reads it: so a simulator started
// for it is found whatever port its user chose last, or none.
int SettingsPort(const QString& folder) {
  return kestrel::ReadStoredPort(folder).comNumber.value_or(kestrel::kDefaultComPort);
}

// A [Devices] assignment of that port in the folder's settings, which the loader would follow
// past any COMn link: the simulator would then be linked but never used.
QString AssignedDevice(const QString& folder, int port) {
  return kestrel::ReadDeviceAssignment(port, folder).value_or(QString());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  using namespace kestrel::sim;

  SimOptions options;
  QString error;
  bool help = false;
  if (!ParseSimOptions(app.arguments().mid(1), options, &error, &help)) {
    PrintLine(stderr, QStringLiteral("kestrel-sim: %1").arg(error));
    PrintLine(stderr, QStringLiteral("Try kestrel-sim --help"));
    return kExitUsage;
  }
  if (help) {
    std::fputs(SimHelpText().toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (options.showVersion) {
    std::printf("kestrel-sim %s\n", kestrel::kVersionText);
    return 0;
  }
  // A folder that is not there has no loader in it: its settings would be the user's, and a
  // mistyped name would link the port there unnoticed.
  for (const QString& folder : {options.settingsOf, options.linkPortFolder}) {
    if (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
      PrintLine(stderr, QStringLiteral("kestrel-sim: no such folder: %1").arg(folder));
      return 1;
    }
  }
  if (!options.settingsOf.isEmpty()) {
    PrintLine(stdout, QDir::cleanPath(kestrel::SettingsFolderOf(
                          QFileInfo(options.settingsOf).absoluteFilePath())));
    return 0;
  }
  if (!InstallSignalHandlers(app)) {
    PrintLine(stderr, QStringLiteral("kestrel-sim: cannot install signal handlers"));
    return 1;
  }
  if (!options.holdPath.isEmpty()) return Hold(app, options.holdPath);
  // Refused before the first download: a FIFO would hold the simulator up, a device never
  // keep the picture.
  if (!options.savePath.isEmpty()) {
    if (const QString problem = kestrel::files::SaveProblem(options.savePath); !problem.isEmpty()) {
      PrintLine(
          stderr,
          QStringLiteral("kestrel-sim: cannot save to %1: %2").arg(options.savePath, problem));
      return 1;
    }
  }
  int linkedPort = 0;
  QString linkFolder;
  if (!options.linkPortFolder.isEmpty()) {
    linkFolder = kestrel::SettingsFolderOf(QFileInfo(options.linkPortFolder).absoluteFilePath());
    linkedPort = SettingsPort(linkFolder);
    if (const QString device = AssignedDevice(linkFolder, linkedPort); !device.isEmpty()) {
      PrintLine(stderr, QStringLiteral("kestrel-sim: COM%1 is assigned to %2 in the settings "
                                       "file ([Devices]), so the loader would use that device, "
                                       "not a simulated one. Clear the assignment in Comm > Port "
                                       "or choose another port first.")
                            .arg(linkedPort)
                            .arg(device));
      return 1;
    }
    options.linkPath = QDir(linkFolder).filePath(QStringLiteral("COM%1").arg(linkedPort));
  }

  SimRunner runner(options);
  QObject::connect(&runner, &SimRunner::report, &app,
                   [](const QString& line) { PrintLine(stderr, line); });
  QObject::connect(&runner, &SimRunner::finished, &app,
                   [](int code) { QCoreApplication::exit(code); });
  if (!runner.start(&error)) {
    PrintLine(stderr, QStringLiteral("kestrel-sim: %1").arg(error));
    return 1;
  }
  PrintLine(stdout, runner.slavePath());
  if (linkedPort > 0)
    PrintLine(stderr, QStringLiteral("kestrel-sim: COM%1 in %2 is the simulated device")
                          .arg(linkedPort)
                          .arg(QDir::toNativeSeparators(linkFolder)));
  const int code = app.exec();
  runner.stop();
  return code;
}
