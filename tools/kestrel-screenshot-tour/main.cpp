// kestrel-screenshot-tour FOLDER [--whole-screen]: the loader's window, walked through every
// window and photographed into FOLDER (tools/screenshot runs it under xvfb-run against the
// simulator, packaging/windows/check-windows under Wine).
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
  const bool wholeScreen = arguments.size() == 3 && arguments[2] == QLatin1String("--whole-screen");
  if (arguments.size() != 2 && !wholeScreen) {
    std::fprintf(stderr, "usage: kestrel-screenshot-tour FOLDER [--whole-screen]\n");
    return 64;
  }

  kestrel::frmPantallaTest window(std::make_unique<kestrel::SerialComm>());
  window.show();
  kestrel::StartScreenshotTour(window, arguments[1], wholeScreen);
  return app.exec();
}
