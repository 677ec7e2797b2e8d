// The LV2 state a host hands back from a session or a preset: any subset of
// the plug-in's keys and keys it does not know, each with any type, size and
// bytes, served from any address. Whatever was accepted, the instance must
// still save a whole state and play finite sound.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/Lv2FuzzHost.h"
#include "plugin/VstSynth.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void checkSavedState(const std::vector<Lv2FuzzHost::Property>& saved) {
  bool bank = false, program = false;
  for (const auto& p : saved) {
    if (p.key == Lv2FuzzHost::kBank) {
      require(p.type == Lv2FuzzHost::kChunk && p.value.size() == sizeof(VstParameters));
      bank = true;
    } else if (p.key == Lv2FuzzHost::kProgram) {
      std::int32_t index = -1;
      require(p.type == Lv2FuzzHost::kInt && p.value.size() == sizeof index);
      std::memcpy(&index, p.value.data(), sizeof index);
      require(index >= 0 && index < kNumPrograms);
      program = true;
    }
  }
  require(bank && program);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Lv2FuzzHost& host = Lv2FuzzHost::instance();
  host.reset();
  const Lv2FuzzHost::Input input = Lv2FuzzHost::decode(data, size);
  host.restore(input.properties);
  checkSavedState(host.save());
  host.playPhrase(input.note);
  return 0;
}
