// Linked into each command-line program on Windows. The programs write UTF-8; a console shows
// the bytes in its own code page, which would garble every file name beyond ASCII. So the
// console's output is UTF-8 for the run and gets its code page back when the program ends.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

class Utf8Console {
 public:
  Utf8Console() : previous_(GetConsoleOutputCP()) {
    if (previous_ != 0 && previous_ != CP_UTF8) SetConsoleOutputCP(CP_UTF8);
  }
  ~Utf8Console() {
    if (previous_ != 0 && previous_ != CP_UTF8) SetConsoleOutputCP(previous_);
  }
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  UINT previous_;  // 0: no console
};

const Utf8Console console;

}  // namespace
