// SFZ instruments of any content: the reader must either refuse them with
// messages or hand back regions that a sound file can hold.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzWorkspace.h"
#include "vornsnd/SfzReader.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool midi(int value) { return value >= 0 && value <= 127; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzWorkspace& workspace = FuzzWorkspace::instance();
  // The input may include itself or "other.sfz", which holds a plain region.
  const std::string path = workspace.root() + "/input.sfz";
  static const bool other = [&] {
    const char text[] = "<region> sample=x.wav key=c4\n";
    return FuzzWorkspace::writeFile(workspace.root() + "/other.sfz",
                                    reinterpret_cast<const std::uint8_t*>(text), sizeof text - 1);
  }();
  if (!other || !FuzzWorkspace::writeFile(path, data, size)) return 0;

  SfzReader reader;
  const bool ok = reader.read(path);
  require(static_cast<int>(reader.errors().size()) <= SfzReader::kMaxErrors);
  require(ok == reader.errors().empty());
  if (!ok) return 0;
  require(!reader.regions().empty());
  for (const SfzReader::Region& r : reader.regions()) {
    require(!r.sample.empty() && !r.where.empty() && !r.sampleWhere.empty());
    require(midi(r.lowKey) && midi(r.highKey) && r.lowKey <= r.highKey);
    require(midi(r.lowVelocity) && midi(r.highVelocity) && r.lowVelocity <= r.highVelocity);
    require(r.keyCenter == -1 || midi(r.keyCenter));
    require(r.offset >= 0 && (r.end < 0 || r.end >= r.offset));
    require(std::isfinite(r.tune) && r.transpose >= -127 && r.transpose <= 127);
  }
  return 0;
}
