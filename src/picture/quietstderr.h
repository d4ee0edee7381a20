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

// For a command-line program that reads pictures, once: Qt's image plugins' warnings about
// damaged files are dropped (the program reports a failure in its own words, in one line),
// and photographs of many megapixels are accepted (Qt's default limit is 128 MB).
void PrepareToReadPictures();

}  // namespace kestrel
