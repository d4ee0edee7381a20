#include <QApplication>
#include <memory>

#include "port/serialcomm.h"
#include "ui/mainwindow.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);

  kestrel::frmPantallaTest window(std::make_unique<kestrel::SerialComm>());
  window.show();

  return app.exec();
}
