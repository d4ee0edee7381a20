// kestrel-logo-loader: the window. Its command line is answered before the window's
// application object exists: that object needs a display and aborts without one, and --help
// or a mistyped option must be answered anyway.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>

#include "kestrel/version.h"
#include "port/serialcomm.h"
#include "texts/usertexts.h"
#include "ui/mainwindow.h"

namespace {

constexpr int kExitUsage = 64;

// Options that QGuiApplication and QApplication take from every program, with one dash or two;
// the first ones take a value, as the next argument or after '='.
constexpr const char* kQtOptionsWithValue[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",
    "style",       "stylesheet",         "qmljsdebugger"};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount"};

// How many arguments from argv[at] make one of Qt's options: 0 when it is none, -1 when its
// value is missing.
int QtOptionLength(int argc, char** argv, int at) {
  const char* name = argv[at];
  if (name[0] != '-') return 0;
  name += name[1] == '-' ? 2 : 1;
  for (const char* flag : kQtFlags)
    if (std::strcmp(name, flag) == 0) return 1;
  for (const char* option : kQtOptionsWithValue) {
    const size_t length = std::strlen(option);
    if (std::strncmp(name, option, length) != 0) continue;
    if (name[length] == '=') return 1;
    if (name[length] == '\0') return at + 1 < argc ? 2 : -1;
  }
  return 0;
}

// -1 when the program is to start, else its exit status.
int AnswerCommandLine(int argc, char** argv) {
  for (int at = 1; at < argc;) {
    const char* argument = argv[at];
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
      std::fputs((kestrel::texts::WindowProgramUsage() + kestrel::texts::WindowProgramHelp())
                     .toLocal8Bit()
                     .constData(),
                 stdout);
      return 0;
    }
    if (std::strcmp(argument, "--version") == 0) {
      std::printf("kestrel-logo-loader %s\n", kestrel::kVersionText);
      return 0;
    }
    const int length = QtOptionLength(argc, argv, at);
    if (length <= 0) {
      const QString given = QString::fromLocal8Bit(argument);
      const QString error = length < 0           ? kestrel::texts::MissingValueAfter(given)
                            : argument[0] == '-' ? kestrel::texts::UnknownOption(given)
                                                 : kestrel::texts::UnexpectedWindowArgument(given);
      std::fprintf(stderr, "kestrel-logo-loader: %s\n", error.toLocal8Bit().constData());
      std::fputs(kestrel::texts::WindowProgramUsage().toLocal8Bit().constData(), stderr);
      return kExitUsage;
    }
    at += length;
  }
  return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
  {
    // Translations need an application object; this one needs no display.
    int count = 1;
    char* program[] = {argv[0], nullptr};
    QCoreApplication answering(count, program);
    kestrel::texts::InstallTranslations();
    if (const int status = AnswerCommandLine(argc, argv); status >= 0) return status;
  }

  QApplication app(argc, argv);
  kestrel::texts::InstallTranslations();

  kestrel::frmPantallaTest window(std::make_unique<kestrel::SerialComm>());
  window.show();

  return app.exec();
}
