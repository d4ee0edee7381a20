// kestrel-load: loads a logo into a Kestrel II device from the command line.
#include <QCoreApplication>
#include <QTextStream>

#include "cli/loadcommand.h"
#include "cli/terminal.h"
#include "texts/usertexts.h"

int main(int argc, char** argv) {
  kestrel::cli::ReserveStandardStreams();
  // No display needed: pictures are read and converted with QtGui's image classes alone.
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(kestrel::cli::kLoadProgramName));
  kestrel::texts::InstallTranslations();
  QTextStream out(stdout);
  QTextStream err(stderr);
  return kestrel::cli::RunLoad(QCoreApplication::arguments(), out, err,
                               kestrel::cli::StandardErrorIsTerminal());
}
