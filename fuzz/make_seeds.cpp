// Writes the seed corpora of the fuzz targets into <out>/<target>/, each seed
// made by the code that makes real files: the sound-file writer, the Scala
// converter over the shipped scale sources, the engine's own chunks and
// the demo song's MIDI writer, and the LV2 instance's own saved state.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzHost.h"
#include "fuzz/FuzzWorkspace.h"
#ifdef VELLAMOR_FUZZ_LV2
#include "fuzz/Lv2FuzzHost.h"
#endif
#include "mkdemo/MidiFile.h"
#include "scl2scale/SclScale.h"
#include "sound/VORNsndWriter.h"

namespace fs = std::filesystem;

namespace {

void put(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  FuzzWorkspace::writeFile(file.string(), bytes.data(), bytes.size());
}


VORNsndWriter::Wave tone(int length, int loopStart, int loopEnd, int root, int lowKey,
                         int highKey) {
  VORNsndWriter::Wave w;
  w.samples.resize(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i) w.samples[i] = 0.5f * std::sin(0.1f * i);
  w.loopStart = loopStart;
  w.loopEnd = loopEnd;
  w.rootKey = root;
  w.lowKey = lowKey;
  w.highKey = highKey;
  return w;
}

void soundSeeds(const fs::path& dir) {
  std::string error;
  unsigned char picture[VORNsnd::kPictureBytes];
  for (int i = 0; i < VORNsnd::kPictureBytes; ++i) picture[i] = static_cast<unsigned char>(i);
  VORNsndWriter::write((dir / "looped").string(), "seed", {tone(200, 20, 180, 60, 0, 127)},
                       nullptr, &error);
  VORNsndWriter::write((dir / "loopless").string(), "seed", {tone(64, -1, 0, 48, 0, 127)},
                       nullptr, &error);
  VORNsndWriter::write((dir / "split-with-picture").string(), "seed",
                       {tone(90, 10, 80, 40, 0, 59), tone(70, -1, 0, 72, 60, 127)}, picture,
                       &error);
}

void scaleSeeds(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(VELLAMOR_SCALE_SOURCES)) {
    if (entry.path().extension() != ".scl") continue;
    SclScale scale;
    if (!scale.readScl(entry.path().string()).empty()) continue;
    std::string text = scale.fileText();
    put(dir / entry.path().stem(), std::vector<std::uint8_t>(text.begin(), text.end()));
  }
}

void chunkSeeds(const fs::path& dir) {
  VstSynth& synth = FuzzHost::instance().synth();
  for (bool preset : {false, true}) {
    void* data = nullptr;
    vst::VstInt32 size = synth.getChunk(&data, preset);
    auto* bytes = static_cast<std::uint8_t*>(data);
    // The target reads its choices from the end: last byte how the bytes
    // are handed over (0 = as a host chunk), the one before it the program
    // played afterwards.
    std::vector<std::uint8_t> seed(bytes, bytes + size);
    seed.push_back(0);
    seed.push_back(0);
    put(dir / (preset ? "program-chunk" : "bank-chunk"), seed);
    seed.back() = 3;  // the same block as the user's default bank
    if (!preset) put(dir / "default-bank", seed);
  }
}

void songSeeds(const fs::path& dir) {
  MidiFile song(480);
  song.tempo(0, 0, 90.0);
  song.timeSignature(0, 0, 3, 2);
  song.tempo(0, 960, 140.0);
  int t = song.addTrack("seed");
  song.programChange(t, 0, 0, 6);
  song.controller(t, 10, 0, 7, 100);
  for (int i = 0; i < 8; ++i) {
    song.noteOn(t, 240 * i, 0, 60 + i, 90);
    song.noteOff(t, 240 * i + 200, 0, 60 + i);
  }
  song.controller(t, 2400, 0, 123, 0);
  put(dir / "song", song.bytes());
}

void eventSeeds(const fs::path& dir) {
  // Arbitrary starting points; the choices are read from the end.
  put(dir / "short", {0x90, 60, 100, 0, 3, 0x01, 0x00, 3, 2, 0});
  put(dir / "longer", {0x90, 64, 90, 0x80, 64, 0, 0xC0, 5, 0, 0xB0, 123, 0, 7, 4, 30, 1,
                       0, 3, 2, 0, 0x02, 0x00, 0, 1, 6, 9, 2, 3});
}

void sfzSeeds(const fs::path& dir) {
  auto text = [&](const char* name, const std::string& body) {
    put(dir / name, std::vector<std::uint8_t>(body.begin(), body.end()));
  };
  text("layers", R"(// two layers over two zones
<control> default_path=Samples\Violin\
#define $SOFT 63
<global> loop_mode=loop_continuous ampeg_release=0.4
<master> transpose=-12
<group> lovel=1 hivel=$SOFT
<region> sample=vln c3 p.wav lokey=c3 hikey=f#3 pitch_keycenter=c3 loop_start=1200 loop_end=48000
<region> sample=vln g3 p.wav lokey=g3 hikey=b3 pitch_keycenter=g3 tune=-12
<group> lovel=64 hivel=127 /* loud */ trigger=attack
<region> sample=vln c3 f.wav key=48 offset=200 end=96000
<region> sample=vln c3 rel.wav key=48 trigger=release
<region> sample=vln g3 f.wav lokey=55 hikey=59 seq_length=2 seq_position=2
)");
  text("include", "#include \"other.sfz\"\n<group> loop_mode=one_shot\n"
                  "<region> sample=pluck.flac key=eb4 lovel=10 hivel=90\n");
  text("broken", "<region sample=a.wav\n<region> lokey=200 sample=*sine\n<curve> v000=0\n");
}

#ifdef VELLAMOR_FUZZ_LV2
void lv2StateSeeds(const fs::path& dir) {
  using Host = Lv2FuzzHost;
  Host& host = Host::instance();
  host.reset();
  const std::vector<Host::Property> saved = host.save();
  if (saved.size() != 2) {
    std::fprintf(stderr, "fuzz_seeds: the LV2 instance saved no whole state\n");
    return;
  }
  put(dir / "saved-state", Host::encode({60, saved}));

  const std::vector<std::uint8_t> one{1, 0, 0, 0};
  host.restore({{Host::kProgram, Host::kInt, false, 0, one}});
  put(dir / "saved-state-second-set", Host::encode({48, host.save()}));

  // What a preset carries: one program record, here one on the second set.
  VstSynth& synth = FuzzHost::instance().synth();
  synth.setProgram(1);
  void* data = nullptr;
  const vst::VstInt32 size = synth.getChunk(&data, true);
  const auto* record = static_cast<const std::uint8_t*>(data);
  synth.setProgram(0);
  put(dir / "preset", Host::encode({67, {{Host::kPreset, Host::kChunk, false, 0,
                                          std::vector<std::uint8_t>(record, record + size)}}}));

  // Broken ones: a bank cut short, parts of the wrong type, a program out of
  // range, values at odd addresses and a key of another plug-in.
  std::vector<Host::Property> broken;
  for (Host::Property p : saved) {
    if (p.key == Host::kBank) p.value.pop_back();
    p.misaligned = true;
    broken.push_back(p);
  }
  put(dir / "cut-bank", Host::encode({62, broken}));
  const std::vector<std::uint8_t> outOfRange{0xA0, 0x0F, 0, 0};
  put(dir / "wrong-types",
      Host::encode({64, {{Host::kBank, Host::kInt, false, 0, saved.front().value},
                         {Host::kProgram, Host::kChunk, false, 0, outOfRange},
                         {Host::kPreset, Host::kInt, false, 0, one},
                         {Host::kUnknown, Host::kChunk, false, 1, one}}}));
  put(dir / "program-out-of-range",
      Host::encode({72, {{Host::kProgram, Host::kInt, false, 0, outOfRange},
                         {Host::kUnknown, Host::kLong, true, 3, outOfRange}}}));
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds OUT-FOLDER\n");
    return 2;
  }
  const fs::path out = argv[1];
  for (const char* target : {"vornsnd", "scale", "chunk", "events", "smf", "sfz"})
    fs::create_directories(out / target);
  soundSeeds(out / "vornsnd");
  scaleSeeds(out / "scale");
  chunkSeeds(out / "chunk");
  songSeeds(out / "smf");
  eventSeeds(out / "events");
  sfzSeeds(out / "sfz");
#ifdef VELLAMOR_FUZZ_LV2
  fs::create_directories(out / "lv2state");
  lv2StateSeeds(out / "lv2state");
#endif
  return 0;
}
