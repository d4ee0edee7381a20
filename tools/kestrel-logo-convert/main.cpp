// kestrel-logo-convert: turns any picture into a logo bitmap the loader accepts.
#include <QCoreApplication>
#include <QImageReader>
#include <QTextStream>

#include "convertcommand.h"

namespace {

// Qt's image plugins warn about damaged files; the program says what failed in one line.
QtMessageHandler standardHandler = nullptr;

void QuietImagePlugins(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) return;
  if (standardHandler) standardHandler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
  // No windows: a core application is enough for reading and writing pictures.
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(kestrel::convert::kProgramName));
  standardHandler = qInstallMessageHandler(QuietImagePlugins);
  // Photographs of many megapixels are welcome; the default limit is 128 MB.
  QImageReader::setAllocationLimit(512);
  QTextStream out(stdout);
  QTextStream err(stderr);
  return kestrel::convert::RunConverter(QCoreApplication::arguments(), out, err);
}
