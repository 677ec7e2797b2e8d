// MIDI files of any content for the renderer's reader: it must fail with a
// sentence or give a consistent, time-ordered event list.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/StandardMidiFile.h"

namespace {
void require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host::StandardMidiFile file;
  std::string error;
  if (!file.parse(data, size, error)) {
    require(!error.empty() && file.events().empty());
    return 0;
  }
  double last = -1.0;
  for (const auto& event : file.events()) {
    require(std::isfinite(event.seconds) && event.seconds >= 0.0);
    require(event.seconds >= last);
    last = event.seconds;
    auto bytes = file.bytes(event);
    require(!bytes.empty());
    if (event.sysex) require(bytes[0] == 0xF0);
    else require(bytes[0] >= 0x80 && bytes[0] < 0xF0);
  }
  require(std::isfinite(file.endSeconds()) && file.endSeconds() >= last);
  require(std::isfinite(file.initialTempo()) && file.initialTempo() > 0.0);
  return 0;
}
