// kestrel-logo-convert: turns any picture into a logo bitmap the loader accepts.
#include <QCoreApplication>
#include <QTextStream>

#include "convertcommand.h"
#include "texts/usertexts.h"

int main(int argc, char** argv) {
  // No windows: a core application is enough for reading and writing pictures.
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(kestrel::convert::kProgramName));
  kestrel::texts::InstallTranslations();
  QTextStream out(stdout);
  QTextStream err(stderr);
  return kestrel::convert::RunConverter(QCoreApplication::arguments(), out, err);
}
