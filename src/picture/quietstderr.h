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

}  // namespace kestrel
