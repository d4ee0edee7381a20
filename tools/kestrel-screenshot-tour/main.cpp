// kestrel-screenshot-tour FOLDER: the loader's window, walked through every window and
// photographed into FOLDER (tools/screenshot runs it under xvfb-run against the simulator).
#include <QApplication>
#include <cstdio>
#include <memory>

#include "port/serialcomm.h"
#include "screenshottour.h"
#include "texts/usertexts.h"
#include "ui/mainwindow.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // In the system's language, as the loader itself: LANG=es_ES.UTF-8 photographs the Spanish.
  kestrel::texts::InstallTranslations();
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: kestrel-screenshot-tour FOLDER\n");
    return 64;
  }

  kestrel::frmPantallaTest window(std::make_unique<kestrel::SerialComm>());
  window.show();
  kestrel::StartScreenshotTour(window, arguments[1]);
  return app.exec();
}
