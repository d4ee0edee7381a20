#include "fuzzbodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrel::fuzz::SettingsReader(data, size);
  return 0;
}
