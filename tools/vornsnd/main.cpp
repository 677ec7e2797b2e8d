// vornsnd: builds instrument sound files from audio files, describes them,
// and exports their thumbnail picture.
//
//   vornsnd build OUT.VORNsnd [--header TEXT] (--manifest FILE | WAVE...)
//   vornsnd info FILE.VORNsnd
//   vornsnd picture FILE.VORNsnd OUT.png [--scale N]

#include <cairo.h>
#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "WaveSpec.h"
#include "sound/VORNsnd.h"
#include "sound/VORNsndWriter.h"
#include "support/MessageBox.h"

namespace {

constexpr int kRequiredRate = 44100;
constexpr int kUsage = 2;
constexpr int kFailed = 1;

void usage() {
  std::fprintf(stderr,
               "usage:\n"
               "  vornsnd build OUT.VORNsnd [--header TEXT] WAVE...\n"
               "  vornsnd build OUT.VORNsnd [--header TEXT] --manifest FILE\n"
               "  vornsnd info FILE.VORNsnd\n"
               "  vornsnd picture FILE.VORNsnd OUT.png [--scale N]\n"
               "WAVE is AUDIO[,keys=LO-HI][,vel=LO-HI][,root=KEY][,loop=START-END];\n"
               "audio must be mono at 44100 Hz (WAV, AIFF, FLAC, ...).\n");
}

int fail(const std::string& message) {
  std::fprintf(stderr, "vornsnd: %s\n", message.c_str());
  return kFailed;
}

// The tool reports problems itself; no dialog, no duplicate lines.
struct QuietMessages : MessageBoxHandler {
  bool show(const char*, const char*, int) override { return true; }
};

const char* describeLoadError(int code) {
  switch (code) {
    case VORNsnd::kErrFileMissing: return "file cannot be opened";
    case VORNsnd::kErrHeaderShort: return "shorter than the 200-byte header";
    case VORNsnd::kErrCountMissing: return "wave count missing";
    case VORNsnd::kErrCountRange: return "wave count outside 1..4024";
    case VORNsnd::kErrChunkShort: return "a chunk header is cut short";
    case VORNsnd::kErrChunkTag: return "a chunk does not start with \"chnk\"";
    case VORNsnd::kErrLengthRange: return "a wave length is not positive";
    case VORNsnd::kErrSamplesShort: return "a wave claims more samples than the file holds";
    case VORNsnd::kErrRootKeyRange: return "a root key lies outside 0..127";
    case VORNsnd::kErrLoopEnd: return "a loop end lies beyond its wave";
    case VORNsnd::kErrLoopStart: return "a loop start lies beyond its wave or its loop end";
    case VORNsnd::kErrPictureShort: return "the picture is cut short";
    case VORNsnd::kErrWaveTooShort: return "a looped wave has a single sample";
    default: return "unknown error";
  }
}

std::string readAudio(const WaveSpec& desc, std::vector<float>& samples) {
  SF_INFO info{};
  SNDFILE* file = sf_open(desc.audio.c_str(), SFM_READ, &info);
  if (!file) return desc.audio + ": cannot read audio (" + sf_strerror(nullptr) + ")";
  std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> closer(file, sf_close);
  if (info.channels != 1)
    return desc.audio + ": has " + std::to_string(info.channels) +
           " channels, but waves are mono; mix it down first (e.g. sox IN OUT remix -)";
  if (info.samplerate != kRequiredRate)
    return desc.audio + ": sample rate is " + std::to_string(info.samplerate) +
           " Hz, waves must be 44100 Hz; resample it first (e.g. sox IN -r 44100 OUT)";
  if (info.frames < 1) return desc.audio + ": holds no samples";
  if (info.frames > INT32_MAX / 4) return desc.audio + ": too long for one wave";
  samples.resize(static_cast<size_t>(info.frames));
  const sf_count_t got = sf_readf_float(file, samples.data(), info.frames);
  if (got != info.frames) return desc.audio + ": read error (" + sf_strerror(file) + ")";
  return "";
}

int build(int argc, char** argv) {
  if (argc < 3) {
    usage();
    return kUsage;
  }
  const std::string out = argv[2];
  std::string header = "VORNsnd built by vornsnd";
  std::vector<WaveSpec> specs;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--header" || arg == "--manifest") {
      if (i + 1 >= argc) return fail(arg + " needs a value");
      const std::string value = argv[++i];
      if (arg == "--header") {
        header = value;
      } else {
        std::string problem = parseManifest(value, specs);
        if (!problem.empty()) return fail(problem);
      }
      continue;
    }
    WaveSpec desc;
    std::string problem = parseWaveArgument(arg, desc);
    if (!problem.empty()) return fail(arg + ": " + problem);
    specs.push_back(desc);
  }
  if (specs.empty()) return fail("no waves given");

  std::vector<VORNsndWriter::Wave> waves;
  for (const WaveSpec& desc : specs) {
    VORNsndWriter::Wave w;
    std::string problem = readAudio(desc, w.samples);
    if (!problem.empty()) return fail(problem);
    w.lowKey = desc.lowKey;
    w.highKey = desc.highKey;
    w.lowVelocity = desc.lowVelocity;
    w.highVelocity = desc.highVelocity;
    w.rootKey = desc.rootKey;
    if (desc.hasLoop) {
      w.loopStart = desc.loopStart;
      w.loopEnd = desc.loopEnd;
    }
    problem = VORNsndWriter::checkWave(w);
    if (!problem.empty()) return fail(desc.audio + ": " + problem);
    waves.push_back(std::move(w));
  }
  std::string error;
  if (!VORNsndWriter::write(out, header, waves, nullptr, &error)) return fail(error);
  std::printf("%s: %zu wave(s) written\n", out.c_str(), waves.size());
  return 0;
}

// Loads through the instrument's own reader, so the tool accepts exactly
// what the instrument accepts.
int load(const char* path, VORNsnd& sound) {
  QuietMessages quiet;
  installMessageBoxHandler(&quiet);
  const int code = sound.loadVORNsnd(path);
  removeMessageBoxHandler(&quiet);
  return code;
}

int32_t le32(const unsigned char* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                              uint32_t(p[3]) << 24);
}

int info(int argc, char** argv) {
  if (argc != 3) {
    usage();
    return kUsage;
  }
  const char* path = argv[2];
  auto sound = std::make_unique<VORNsnd>();
  const int code = load(path, *sound);
  if (code != 0)
    return fail(std::string(path) + ": not a usable sound file (code " + std::to_string(code) +
                ": " + describeLoadError(code) + ")");

  // The reader accepted the file, so its chunks can be walked as stored.
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return fail(std::string(path) + ": cannot open");
  unsigned char header[VORNsnd::kHeaderSize + 4];
  if (std::fread(header, 1, sizeof header, f) != sizeof header) {
    std::fclose(f);
    return fail(std::string(path) + ": cannot read");
  }
  std::string text;
  for (int i = 0; i < VORNsnd::kHeaderSize && header[i]; ++i)
    text += (header[i] >= 32 && header[i] < 127) ? static_cast<char>(header[i]) : '.';
  const int32_t count = le32(header + VORNsnd::kHeaderSize);
  std::printf("file:    %s\nheader:  %s\nwaves:   %d\n", path, text.c_str(), count);
  for (int32_t i = 0; i < count; ++i) {
    unsigned char c[VORNsnd::kChunkHeaderSize];
    if (std::fread(c, 1, sizeof c, f) != sizeof c) break;
    const int32_t length = le32(c + 4), loopStart = le32(c + 24), loopEnd = le32(c + 28);
    std::printf("wave %d: %d samples, keys %d-%d, velocity %d-%d, root %d, ", i + 1, length,
                le32(c + 16), le32(c + 20), le32(c + 8), le32(c + 12), le32(c + 32));
    if (loopStart >= 0 && loopEnd > 0)
      std::printf("loop %d-%d\n", loopStart, loopEnd);
    else if (loopStart >= 0 && loopEnd < 0)
      std::printf("played once\n");
    else
      std::printf("no loop\n");
    std::fseek(f, static_cast<long>(length) * 4, SEEK_CUR);
  }
  std::fclose(f);
  std::printf("picture: %s\n", sound->hasPicture() ? "stored in the file" : "drawn on load");
  return 0;
}

int picture(int argc, char** argv) {
  if (argc != 4 && argc != 6) {
    usage();
    return kUsage;
  }
  int scale = 4;
  if (argc == 6) {
    if (std::strcmp(argv[4], "--scale") != 0) {
      usage();
      return kUsage;
    }
    char* end = nullptr;
    const long s = std::strtol(argv[5], &end, 10);
    if (!end || *end || s < 1 || s > 64) return fail("--scale must be a whole number 1..64");
    scale = static_cast<int>(s);
  }
  auto sound = std::make_unique<VORNsnd>();
  const int code = load(argv[2], *sound);
  if (code != 0)
    return fail(std::string(argv[2]) + ": not a usable sound file (code " + std::to_string(code) +
                ": " + describeLoadError(code) + ")");

  const int width = VORNsnd::kPictureColumns * scale, height = VORNsnd::kPictureRows * scale;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return fail("cannot create image");
  cairo_surface_flush(surface);
  unsigned char* pixels = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(pixels + y * stride);
    for (int x = 0; x < width; ++x) {
      const unsigned char* px = sound->pixel(y / scale, x / scale);
      row[x] = 0xff000000u | uint32_t(px[0]) << 16 | uint32_t(px[1]) << 8 | px[2];
    }
  }
  cairo_surface_mark_dirty(surface);
  const cairo_status_t status = cairo_surface_write_to_png(surface, argv[3]);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS)
    return fail(std::string("cannot write ") + argv[3] + ": " + cairo_status_to_string(status));
  std::printf("%s: %dx%d picture written\n", argv[3], width, height);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage();
    return kUsage;
  }
  const std::string command = argv[1];
  if (command == "build") return build(argc, argv);
  if (command == "info") return info(argc, argv);
  if (command == "picture") return picture(argc, argv);
  if (command == "--help" || command == "-h") {
    usage();
    return 0;
  }
  std::fprintf(stderr, "vornsnd: unknown command '%s'\n", command.c_str());
  usage();
  return kUsage;
}
