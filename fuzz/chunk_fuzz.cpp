// State the host or a file hands back: chunks of any size and content, the
// user's default bank and the factory bank file. Whatever was accepted, the
// stored state must be finite and terminated, and the instrument must still
// play finite sound from every program it now holds.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/FuzzHost.h"
#include "fuzz/FuzzWorkspace.h"
#include "support/BundleResources.h"

namespace {

constexpr std::size_t kBlockBytes = sizeof(VstParameters);
constexpr std::size_t kProgramBytes = sizeof(VstProgram);

void require(bool condition) {
  if (!condition) std::abort();
}

// The state as the host would save it again must hold no NaN or infinity.
void checkStoredState(VstSynth& synth) {
  void* data = nullptr;
  vst::VstInt32 size = synth.getChunk(&data, false);
  require(size == static_cast<vst::VstInt32>(kBlockBytes) && data);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t at = 0; at + 4 <= kBlockBytes; at += 4) {
    bool isValue = false;
    if (at < sizeof(VstParams) * kNumParams) {
      isValue = at % sizeof(VstParams) == offsetof(VstParams, value);
    } else {
      std::size_t inProgram = (at - sizeof(VstParams) * kNumParams) % kProgramBytes;
      isValue = inProgram >= offsetof(VstProgram, values);
    }
    if (!isValue) continue;
    float v;
    std::memcpy(&v, bytes + at, sizeof v);
    require(std::isfinite(v));
  }
  char name[64];
  for (int p = 0; p < kNumPrograms; p += 9) {
    std::memset(name, 'x', sizeof name);
    require(synth.getProgramNameIndexed(0, p, name));
    require(std::memchr(name, 0, 25) != nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzHost& host = FuzzHost::instance();
  FuzzWorkspace& workspace = FuzzWorkspace::instance();
  host.reset();
  VstSynth& synth = host.synth();
  FuzzedDataProvider in(data, size);
  int mode = in.ConsumeIntegralInRange(0, 5);
  int program = in.ConsumeIntegralInRange(0, kNumPrograms - 1);
  std::vector<std::uint8_t> bytes = in.ConsumeRemainingBytes<std::uint8_t>();
  switch (mode) {
    case 0:  // as the host sent it, both flavours
      synth.setChunk(bytes.empty() ? nullptr : bytes.data(),
                     static_cast<vst::VstInt32>(bytes.size()), program & 1);
      break;
    case 1:
      bytes.resize(kProgramBytes);
      synth.setChunk(bytes.data(), static_cast<vst::VstInt32>(bytes.size()), true);
      break;
    case 2:
      bytes.resize(kBlockBytes);
      synth.setChunk(bytes.data(), static_cast<vst::VstInt32>(bytes.size()), false);
      break;
    case 3:  // the user's default bank, any size
      if (program & 1) bytes.resize(kBlockBytes);
      FuzzWorkspace::writeFile(workspace.defaultBankPath(), bytes.data(), bytes.size());
      synth.loadBank(165, true, false);
      std::remove(workspace.defaultBankPath().c_str());
      break;
    case 4: {  // a factory bank file, any size
      if (program & 1) bytes.resize(kProgramBytes * kNumPrograms);
      BundleResources::overridePath(workspace.root());
      FuzzWorkspace::writeFile(workspace.root() + "/res00165.bnk", bytes.data(), bytes.size());
      synth.loadBank(165, false, false);
      break;
    }
    case 5:  // a program chunk sent with the wrong flag and a cut block
      bytes.resize(bytes.size() % kBlockBytes);
      synth.setChunk(bytes.data(), static_cast<vst::VstInt32>(bytes.size()), program & 1);
      break;
  }
  checkStoredState(synth);
  synth.setProgram(program);
  host.playPhrase(30 + program % 60);
  synth.setProgram((program * 37 + 11) % kNumPrograms);
  host.playPhrase(60);
  synth.waitForLoads();
  return 0;
}
