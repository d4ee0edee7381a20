#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>

#include "picture/logoconvert.h"

namespace kestrel::cli {

inline constexpr char kLoadProgramName[] = "kestrel-load";
// Names the port (or several, separated by commas) when --port is not given; an empty value
// counts as unset.
inline constexpr char kPortVariable[] = "KESTREL_PORT";

// With several ports the run ends with the highest of their statuses: an interruption, then a
// port that could not be used, then a device that did not take the logo.
enum LoadExit {
  kExitOk = 0,               // loaded; also after --help, --version, --list-ports
  kExitNotAcknowledged = 1,  // a block was not acknowledged, the logo information not answered
                             // or refused
  kExitPortUnusable = 2,     // missing, held by another program, no permission, lost
  kExitPictureRefused = 3,   // the picture could not be read or converted
  kExitBadArguments = 64,
  kExitSignalBase = 128,  // + the signal's number: a download interrupted by it (130 Ctrl-C)
};

struct LoadCommandLine {
  // Each "COMn" or a device as given, all loaded at once; empty: the settings file decides.
  QStringList ports;
  int baud = 0;  // 0: the settings file decides
  bool repeat = false;
  QString logPath;  // empty: kestrel-loads.log in the settings folder
  QString operatorName;  // empty: the user's login name
  bool trace = false;
  bool json = false;  // one object per download (or device listed) on standard output
  bool quiet = false;  // errors only: no progress bar, success lines or notes
  bool listPorts = false;
  bool showHelp = false;
  bool showVersion = false;
  QString picture;
  convert::ConvertOptions options;
  QStringList conversionOptions;  // those given, as "--invert": a logo bitmap ignores them
};

struct ParsedLoadCommand {
  LoadCommandLine command;
  QString error;  // one line; empty when the arguments are usable
};

// arguments[0] is the program itself, as in QCoreApplication::arguments(). environmentPort is
// the value of KESTREL_PORT, taken when --port is not given. Two ports that lead to one device
// are a usage error: the settings file and COMn links are read to tell.
ParsedLoadCommand ParseLoadCommandLine(const QStringList& arguments,
                                       const QString& environmentPort = {});
QString LoadHelpText();

// The COM number a --port text names ("COM3", "com 3"); nothing for a device.
std::optional<int> ComNumberOfPortText(const QString& text);

// main() without the process: what the user reads goes to out/err; the result is the exit
// status. errIsTerminal draws the progress bar.
int RunLoad(const QStringList& arguments, QTextStream& out, QTextStream& err, bool errIsTerminal);

}  // namespace kestrel::cli
