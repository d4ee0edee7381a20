#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include "picture/convertoptions.h"
#include "picture/logoconvert.h"
#include "picture/pictureread.h"

namespace kestrel::convert {

inline constexpr char kProgramName[] = "kestrel-logo-convert";

enum ExitCode {
  kExitOk = 0,
  kExitFailed = 1,     // the picture could not be read or the result not written
  kExitBadUsage = 64,  // wrong arguments or option values, as every program of the family
};

struct CommandLine {
  QString input;
  QString output;
  QString preview;  // empty: no preview
  ConvertOptions options;
  bool showHelp = false;
  bool showVersion = false;
};

struct ParsedCommandLine {
  CommandLine command;
  QString error;  // one line; empty when the arguments are usable
};

// arguments[0] is the program itself, as in QCoreApplication::arguments().
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

QString HelpText();

// The whole job: read, convert, write the bitmap (and the preview, drawn from the raster the
// loader builds from the written file). Returns an empty text on success, else one line.
// An output is either written completely or left as it was.
QString ConvertLogoFile(const CommandLine& command);

// main() without the process: messages go to out/err, the result is the exit code.
int RunConverter(const QStringList& arguments, QTextStream& out, QTextStream& err);

}  // namespace kestrel::convert
