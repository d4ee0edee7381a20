#pragma once

namespace kestrel {

// Points the process's standard error at the null device while alive. Some decoders (libpng)
// print their complaints straight to it; the converter reports failures in its own words.
class QuietStandardError {
 public:
  QuietStandardError();
  ~QuietStandardError();
  QuietStandardError(const QuietStandardError&) = delete;
  QuietStandardError& operator=(const QuietStandardError&) = delete;

 private:
  int saved_ = -1;
};

// For the whole process: Qt's image plugins' warnings about damaged files are dropped, since
// a program that reads pictures reports a failure in its own words, in one line.
void QuietImagePluginWarnings();

}  // namespace kestrel
