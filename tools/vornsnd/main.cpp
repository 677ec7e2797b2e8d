// vornsnd: builds instrument sound files from audio files and SFZ
// instruments, builds whole sound-set folders, describes sound files and
// exports their thumbnail picture.
//
//   vornsnd build OUT.VORNsnd [--header TEXT] [--channel N] (--manifest FILE | WAVE...)
//   vornsnd sfz INSTRUMENT.sfz OUT.VORNsnd [--header TEXT] [--channel N]
//   vornsnd set NN-Name --main SOURCE --symp SOURCE --drone SOURCE [--channel N] [--force]
//   vornsnd info FILE.VORNsnd
//   vornsnd picture FILE.VORNsnd OUT.png [--scale N]

#include <cairo.h>
#include <sndfile.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "SfzReader.h"
#include "WaveConverter.h"
#include "WaveSpec.h"
#include "sound/VORNsnd.h"
#include "sound/VORNsndWriter.h"
#include "support/MessageBox.h"
#include "support/VornMain.h"

namespace fs = std::filesystem;

namespace {

constexpr int kUsage = 2;
constexpr int kFailed = 1;
constexpr const char* kProduct = "Vellamor";

using Waves = std::vector<VORNsndWriter::Wave>;
using Messages = std::vector<std::string>;

void usage() {
  std::fprintf(stderr,
               "usage:\n"
               "  vornsnd build OUT.VORNsnd [--header TEXT] [--channel N] WAVE...\n"
               "  vornsnd build OUT.VORNsnd [--header TEXT] [--channel N] --manifest FILE\n"
               "  vornsnd sfz INSTRUMENT.sfz OUT.VORNsnd [--header TEXT] [--channel N]\n"
               "  vornsnd set NN-Name --main SOURCE --symp SOURCE --drone SOURCE [--channel N] [--force]\n"
               "  vornsnd info FILE.VORNsnd\n"
               "  vornsnd picture FILE.VORNsnd OUT.png [--scale N]\n"
               "WAVE is AUDIO[,keys=LO-HI][,vel=LO-HI][,root=KEY][,loop=START-END][,channel=N];\n"
               "audio of any rate and channel count that libsndfile reads (WAV, AIFF, FLAC,\n"
               "Ogg, ...) is resampled to 44100 Hz and mixed down, or channel N (from 1) is\n"
               "taken. Loops and offsets count frames of the audio file.\n"
               "A set SOURCE is an .sfz instrument, a WAVE or a manifest; the set folder is\n"
               "made in the user's sound folder.\n");
}

int fail(const std::string& message) {
  std::fprintf(stderr, "vornsnd: %s\n", message.c_str());
  return kFailed;
}

int failAll(const Messages& messages) {
  for (const std::string& m : messages) fail(m);
  return kFailed;
}

void warn(const std::string& message) {
  std::fprintf(stderr, "vornsnd: warning: %s\n", message.c_str());
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

bool parseChannel(const std::string& text, int& channel) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (!end || *end || text.empty() || n < 1 || n > 256) return false;
  channel = static_cast<int>(n);
  return true;
}

// Waves described by hand; a loop START-END keeps the sound file's own
// meaning (the wave runs from sample START - 1 to END - 1, then again).
void convertSpecs(const std::vector<WaveSpec>& specs, int channel, Waves& waves, Messages& errors) {
  for (const WaveSpec& desc : specs) {
    WaveConverter::Request request;
    request.audio = desc.audio;
    request.channel = desc.channel > 0 ? desc.channel : channel;
    if (desc.hasLoop) {
      request.looped = true;
      request.loopFirst = desc.loopStart > 0 ? desc.loopStart - 1 : 0;
      request.loopLast = desc.loopEnd - 1;
    }
    VORNsndWriter::Wave w;
    std::string problem = WaveConverter::convert(request, w);
    if (!problem.empty()) {
      errors.push_back(problem);
      continue;
    }
    w.lowKey = desc.lowKey;
    w.highKey = desc.highKey;
    w.lowVelocity = desc.lowVelocity;
    w.highVelocity = desc.highVelocity;
    w.rootKey = desc.rootKey;
    waves.push_back(std::move(w));
  }
}

// One wave per region; every region is tried so that all problems show at once.
void convertSfz(const std::string& path, int channel, Waves& waves, Messages& errors) {
  SfzReader reader;
  const bool read = reader.read(path);
  for (const std::string& w : reader.warnings()) warn(w);
  if (!read) {
    errors.insert(errors.end(), reader.errors().begin(), reader.errors().end());
    return;
  }
  if (reader.regions().size() > static_cast<size_t>(Wavetable_Main::kMaxWaves)) {
    errors.push_back(path + ": " + std::to_string(reader.regions().size()) +
                     " regions, a sound file holds at most " +
                     std::to_string(Wavetable_Main::kMaxWaves));
    return;
  }
  using Mode = SfzReader::LoopMode;
  for (const SfzReader::Region& r : reader.regions()) {
    WaveConverter::FileFacts facts;
    std::string problem = WaveConverter::inspect(r.sample, facts);
    if (!problem.empty()) {
      errors.push_back(r.sampleWhere + ": " + problem);
      continue;
    }
    WaveConverter::Request request;
    request.audio = r.sample;
    request.channel = channel;
    request.offset = r.offset;
    request.end = r.end;
    // Without a mode, a loop in the instrument or in the file means looping.
    request.looped = r.loopMode == Mode::kContinuous || r.loopMode == Mode::kSustain ||
                     (r.loopMode == Mode::kUnset && (facts.hasLoop || r.loopEnd >= 0));
    request.loopFirst = r.loopStart;
    request.loopLast = r.loopEnd;
    request.cents = r.tune + 100.0 * r.transpose;
    VORNsndWriter::Wave w;
    problem = WaveConverter::convert(request, w);
    if (!problem.empty()) {
      errors.push_back(r.where + ": " + problem);
      continue;
    }
    w.lowKey = r.lowKey;
    w.highKey = r.highKey;
    w.lowVelocity = r.lowVelocity;
    w.highVelocity = r.highVelocity;
    w.rootKey = r.keyCenter >= 0 ? r.keyCenter : facts.rootKey >= 0 ? facts.rootKey : 60;
    waves.push_back(std::move(w));
  }
}

bool endsWithSfz(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".sfz";
}

// A set's source: an SFZ instrument, a wave argument or a manifest.
void convertSource(const std::string& source, int channel, Waves& waves, Messages& errors) {
  if (endsWithSfz(source)) return convertSfz(source, channel, waves, errors);
  WaveSpec desc;
  std::string problem = parseWaveArgument(source, desc);
  SF_INFO info{};
  if (problem.empty()) {
    if (SNDFILE* f = sf_open(desc.audio.c_str(), SFM_READ, &info)) {
      sf_close(f);
      return convertSpecs({desc}, channel, waves, errors);
    }
  }
  std::error_code ec;
  if (!fs::exists(source, ec) && !(problem.empty() && fs::exists(desc.audio, ec))) {
    errors.push_back(source + ": no such file");
    return;
  }
  std::vector<WaveSpec> specs;
  problem = parseManifest(source, specs);
  if (!problem.empty()) {
    errors.push_back(problem + " (" + source + " is neither audio, nor an .sfz instrument, nor a "
                     "manifest)");
    return;
  }
  convertSpecs(specs, channel, waves, errors);
}

int writeSound(const std::string& out, const std::string& header, const Waves& waves) {
  std::string error;
  if (!VORNsndWriter::write(out, header, waves, nullptr, &error)) return fail(error);
  std::printf("%s: %zu wave(s) written\n", out.c_str(), waves.size());
  return 0;
}

int build(int argc, char** argv) {
  if (argc < 3) {
    usage();
    return kUsage;
  }
  const std::string out = argv[2];
  std::string header = "VORNsnd built by vornsnd";
  int channel = 0;
  std::vector<WaveSpec> specs;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--header" || arg == "--manifest" || arg == "--channel") {
      if (i + 1 >= argc) return fail(arg + " needs a value");
      const std::string value = argv[++i];
      if (arg == "--header") {
        header = value;
      } else if (arg == "--channel") {
        if (!parseChannel(value, channel)) return fail("--channel needs a channel number from 1");
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
  Waves waves;
  Messages errors;
  convertSpecs(specs, channel, waves, errors);
  if (!errors.empty()) return failAll(errors);
  return writeSound(out, header, waves);
}

int sfz(int argc, char** argv) {
  if (argc < 4) {
    usage();
    return kUsage;
  }
  const std::string in = argv[2], out = argv[3];
  std::string header = "VORNsnd converted by vornsnd from " + fs::path(in).filename().string();
  int channel = 0;
  for (int i = 4; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg != "--header" && arg != "--channel") || i + 1 >= argc) {
      usage();
      return kUsage;
    }
    const std::string value = argv[++i];
    if (arg == "--header") header = value;
    else if (!parseChannel(value, channel)) return fail("--channel needs a channel number from 1");
  }
  Waves waves;
  Messages errors;
  convertSfz(in, channel, waves, errors);
  if (!errors.empty()) return failAll(errors);
  return writeSound(out, header, waves);
}

// The number of a folder named like a sound set ("07-Name"), else -1.
long setNumber(const std::string& name) {
  size_t digits = 0;
  while (digits < name.size() && std::isdigit(static_cast<unsigned char>(name[digits]))) ++digits;
  if (digits < 2 || digits > 3 || digits >= name.size() || name[digits] != '-') return -1;
  return std::strtol(name.substr(0, digits).c_str(), nullptr, 10);
}

int set(int argc, char** argv) {
  if (argc < 3) {
    usage();
    return kUsage;
  }
  const std::string name = argv[2];
  const long number = setNumber(name);
  if (number < 1 || number > 99 || name.size() > 250 || name.find('/') != std::string::npos)
    return fail("'" + name + "': a set is named NN-Name, NN from 01 to 99, at most 250 "
                "characters, no '/'");
  const char* kinds[3] = {"MainS", "Symp", "Drone"};
  std::string sources[3];
  int channel = 0;
  bool force = false;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--force") {
      force = true;
      continue;
    }
    if (i + 1 >= argc) return fail(arg + " needs a value");
    const std::string value = argv[++i];
    if (arg == "--main") sources[0] = value;
    else if (arg == "--symp") sources[1] = value;
    else if (arg == "--drone") sources[2] = value;
    else if (arg != "--channel") return fail("unknown option " + arg);
    else if (!parseChannel(value, channel)) return fail("--channel needs a channel number from 1");
  }
  if (sources[0].empty() || sources[1].empty() || sources[2].empty())
    return fail("a set needs --main, --symp and --drone");

  Waves waves[3];
  Messages errors;
  for (int k = 0; k < 3; ++k) {
    convertSource(sources[k], channel, waves[k], errors);
    if (waves[k].empty() && errors.empty()) errors.push_back(sources[k] + ": no waves");
  }
  if (!errors.empty()) return failAll(errors);

  const std::string shown = findSoundsDirectory(kProduct);
  const std::string folder = userSoundsDirectory(kProduct);
  if (folder.empty()) return fail("no home folder is known, so there is no sound folder");
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return fail("cannot create " + folder + ": " + ec.message());
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    const std::string other = entry.path().filename().string();
    if (other != name && setNumber(other) == number && entry.is_directory())
      return fail("number " + name.substr(0, name.find('-')) + " is already taken by '" + other +
                  "' in " + folder);
  }
  const fs::path target = fs::path(folder) / name;
  const bool exists = fs::exists(target, ec);
  if (exists && !force) return fail(target.string() + " already exists; --force replaces it");

  // Made under a hidden name (the plug-in skips those) and renamed into place.
  const std::string pid = std::to_string(getpid());
  const fs::path building = fs::path(folder) / ("." + name + ".new-" + pid);
  const fs::path old = fs::path(folder) / ("." + name + ".old-" + pid);
  fs::remove_all(building, ec);
  fs::create_directory(building, ec);
  if (ec) return fail("cannot create " + building.string() + ": " + ec.message());
  for (int k = 0; k < 3; ++k) {
    std::string error;
    const std::string header = "VORNsnd built by vornsnd from " + fs::path(sources[k]).filename().string();
    if (!VORNsndWriter::write((building / (std::string(kinds[k]) + ".VORNsnd")).string(), header,
                              waves[k], nullptr, &error)) {
      fs::remove_all(building, ec);
      return fail(error);
    }
  }
  if (exists) fs::rename(target, old, ec);
  if (!ec) fs::rename(building, target, ec);
  if (ec) {
    const std::string message = "cannot put the set in place: " + ec.message();
    if (exists && !fs::exists(target)) fs::rename(old, target, ec);
    fs::remove_all(building, ec);
    return fail(message);
  }
  if (exists) fs::remove_all(old, ec);
  std::printf("%s: sound set written (%zu, %zu and %zu waves)\n", target.c_str(), waves[0].size(),
              waves[1].size(), waves[2].size());
  if (shown != folder)
    warn("the plug-in showed the sound sets of " + shown + "; from now on it shows those of " +
         folder + " (copy the sets you want to keep seeing there)");
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
  if (command == "sfz") return sfz(argc, argv);
  if (command == "set") return set(argc, argv);
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
