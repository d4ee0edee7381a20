#include <QApplication>
#include <memory>

#include "port/portconnection.h"
#include "port/serialcomm.h"
#include "ui/mainwindow.h"
#include "ui/screenshottour.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);

  kestrel::frmPantallaTest window(std::make_unique<kestrel::SerialComm>());
  window.show();

  const QString tourFolder = qEnvironmentVariable(kestrel::kScreenshotDirVariable);
  if (!tourFolder.isEmpty()) kestrel::StartScreenshotTour(window, tourFolder);

  return app.exec();
}
