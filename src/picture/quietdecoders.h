#pragma once

#include <QtGlobal>

namespace kestrel {

// Silences picture decoders while alive: Qt's image plugins' warnings about damaged files and
// what some libraries (libpng) print straight to standard error. A failure is reported in the
// program's own words, in one line; every other message of the program still gets through.
class QuietDecoders {
 public:
  QuietDecoders();
  ~QuietDecoders();
  QuietDecoders(const QuietDecoders&) = delete;
  QuietDecoders& operator=(const QuietDecoders&) = delete;

 private:
  int saved_ = -1;
  QtMessageHandler previousHandler_ = nullptr;
};

}  // namespace kestrel
