#pragma once

#include <cstddef>
#include <cstdint>

// One body per fuzz target, shared by the libFuzzer drivers and the regression test that
// replays every input the fuzzers ever found.
namespace kestrel::fuzz {
void BitmapReader(const uint8_t* data, size_t size);
void SettingsReader(const uint8_t* data, size_t size);
void ReceiveHandler(const uint8_t* data, size_t size);
}  // namespace kestrel::fuzz
