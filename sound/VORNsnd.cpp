#include "sound/VORNsnd.h"

#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/MessageBox.h"
#include "support/RegularFile.h"

static_assert(std::endian::native == std::endian::little,
              "sound files are read straight into memory in little-endian order");

namespace {

constexpr int64_t kNamePart = 24;       // characters kept of a name taken from the path
constexpr int kExtensionLength = 8;     // ".VORNsnd"
constexpr int kAlternativeCut = 7;      // "VORNsnd"
constexpr float kSampleLimit = 1.0e6f;  // anything louder is damage, not audio

class File {
 public:
  // Only plain files: a FIFO in a sound folder must not hold the load up.
  explicit File(const char* path) : f_(RegularFile::openStream(path)) {}
  ~File() {
    if (f_) std::fclose(f_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  bool open() const { return f_ != nullptr; }
  bool read(void* to, size_t bytes) { return std::fread(to, 1, bytes, f_) == bytes; }
  // Bytes between the read position and the end; -1 when it is no plain file.
  int64_t remaining() {
    struct stat st;
    if (fstat(fileno(f_), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    long at = std::ftell(f_);
    if (at < 0) return -1;
    return static_cast<int64_t>(st.st_size) - at;
  }
 private:
  FILE* f_;
};

int32_t le32(const unsigned char* p) {
  uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  return static_cast<int32_t>(v);
}

// Damaged sample data must never reach the output as NaN or infinity.
void sanitise(float* s, int64_t n) {
  for (int64_t i = 0; i < n; ++i) {
    float v = s[i];
    if (!std::isfinite(v)) v = 0.0f;
    if (v > kSampleLimit) v = kSampleLimit;
    if (v < -kSampleLimit) v = -kSampleLimit;
    s[i] = v;
  }
}

// The last `kNamePart` characters of path[from, to).
void copyTail(const char* path, int64_t from, int64_t to, char* out) {
  if (to - from > kNamePart) from = to - kNamePart;
  int64_t n = to > from ? to - from : 0;
  std::memcpy(out, path + from, static_cast<size_t>(n));
  out[n] = '\0';
}

}  // namespace

VORNsnd::VORNsnd(SoundStatus* status) : status_(status) { setBlankState(); }

VORNsnd::~VORNsnd() { forget(); }

void VORNsnd::forget() {
  std::memset(picture_, 0, sizeof picture_);
  std::snprintf(name_, sizeof name_, "Initial");
  std::snprintf(setName_, sizeof setName_, "Initial");
  for (int64_t i = 0; i < main_.count && i < Wavetable_Main::kMaxWaves; ++i) main_.waves[i].clear();
  main_.count = 0;
}

void VORNsnd::blank() {
  forget();
  setBlankState();
}

void VORNsnd::setBlankState() {
  Wavetable_Wave& w = main_.waves[0];
  w.clear();
  w.data.reset(new float[kBlankAllocated]());
  w.allocated = kBlankAllocated;
  w.length = kBlankLength;
  main_.count = 1;
}

void VORNsnd::setColor(Color foreground, Color background) {
  foreground_ = foreground;
  background_ = background;
}

void VORNsnd::VolumeChange(float gain) {
  if (!std::isfinite(gain)) return;
  for (int64_t i = 0; i < main_.count; ++i) {
    Wavetable_Wave& w = main_.waves[i];
    if (!w.data) continue;
    float* s = w.data.get();
    for (int64_t k = 0; k < w.length && k < w.allocated; ++k) s[k] *= gain;
    sanitise(s, w.length < w.allocated ? w.length : w.allocated);
  }
}

int VORNsnd::fail(int code, const char* path) {
  forget();
  if (status_) status_->raiseNoWave();
  setBlankState();
  std::fprintf(stderr, "Error loading VORNsnd file! Code %d - file %s\n", code, path);
  if (code == kErrFileMissing) MessageBox(0, "Selected file is missing", "Warning!", 0);
  if (code == kErrWaveTooShort) MessageBox(0, "File Size Error!", "Error!", 0);
  return code;
}

int VORNsnd::loadVORNsnd(const char* path) {
  forget();
  if (!path) path = "";

  File primary(path);
  File* file = &primary;
  std::string alternativePath;
  size_t pathLength = std::strlen(path);
  if (!primary.open() && pathLength >= static_cast<size_t>(kAlternativeCut)) {
    // The alternative form loads, but the instance stays silent with it.
    alternativePath.assign(path, pathLength - kAlternativeCut);
    alternativePath += "FernoSND";
    if (status_) status_->raiseNoWave();
  }
  File alternative(alternativePath.empty() ? "" : alternativePath.c_str());
  if (!primary.open()) file = &alternative;
  if (!file->open()) return fail(kErrFileMissing, path);

  unsigned char header[kHeaderSize];
  if (!file->read(header, sizeof header)) return fail(kErrHeaderShort, path);
  unsigned char word[4];
  if (!file->read(word, sizeof word)) return fail(kErrCountMissing, path);
  int32_t count = le32(word);
  if (count < 1 || count > Wavetable_Main::kMaxWaves) return fail(kErrCountRange, path);
  main_.count = count;

  bool sawLoopless = false;
  for (int32_t i = 0; i < count; ++i) {
    unsigned char chunk[kChunkHeaderSize];
    if (!file->read(chunk, sizeof chunk)) return fail(kErrChunkShort, path);
    if (std::memcmp(chunk, "chnk", 4) != 0) return fail(kErrChunkTag, path);
    const int64_t length = le32(chunk + 4);
    const int64_t lowVelocity = le32(chunk + 8);
    const int64_t highVelocity = le32(chunk + 12);
    const int64_t lowKey = le32(chunk + 16);
    const int64_t highKey = le32(chunk + 20);
    int64_t loopStart = le32(chunk + 24);
    int64_t loopEnd = le32(chunk + 28);
    const int64_t rootKey = le32(chunk + 32);

    if (length <= 0) return fail(kErrLengthRange, path);
    // Checked before allocating, so a hostile length cannot ask for gigabytes.
    int64_t left = file->remaining();
    if (left < 0 || length * 4 > left) return fail(kErrSamplesShort, path);
    if (rootKey < 0 || rootKey > 127) return fail(kErrRootKeyRange, path);

    Wavetable_Wave& w = main_.waves[i];
    int64_t playable = length;
    if (loopStart < 0 || loopEnd == 0) {
      const int64_t size = length + kLooplessTail;
      w.data.reset(new float[size]());
      w.allocated = size;
      float* s = w.data.get();
      for (int64_t k = length - 1; k < size; ++k) s[k] = kSilentTail;
      if (!file->read(s, static_cast<size_t>(length) * 4)) return fail(kErrSamplesShort, path);
      sanitise(s, length);
      // A loopless wave ends in 40 near-silent samples with a loop inside
      // them, so it fades out without running off its data.
      loopStart = length + 2;
      loopEnd = length + 38;
      playable = length + 40;
      sawLoopless = true;
    } else {
      if (loopStart >= length) return fail(kErrLoopStart, path);
      if (length < 2) return fail(kErrWaveTooShort, path);
      const int64_t size = length + kLoopedTail;
      w.data.reset(new float[size]());
      w.allocated = size;
      float* s = w.data.get();
      if (!file->read(s, static_cast<size_t>(length) * 4)) return fail(kErrSamplesShort, path);
      sanitise(s, length);
      if (loopEnd > 0) {
        if (loopEnd > length) return fail(kErrLoopEnd, path);
        if (loopStart > loopEnd) return fail(kErrLoopStart, path);
        s[loopEnd + 1] = s[loopStart];
      }
    }
    w.length = playable;
    w.loopStart = loopStart;
    w.loopEnd = loopEnd;
    w.rootKey = rootKey;
    w.lowVelocity = lowVelocity;
    w.highVelocity = highVelocity;
    w.lowKey = lowKey;
    w.highKey = highKey;
  }

  takeNames(path);

  if (file->read(word, sizeof word)) {
    unsigned char rows[kPictureRows][kPictureColumns][3];
    if (!file->read(rows, sizeof rows)) return fail(kErrPictureShort, path);
    for (int r = 0; r < kPictureRows; ++r)
      for (int j = 0; j < kPictureColumns; ++j)
        std::memcpy(picture_[r][kPictureColumns - 1 - j], rows[r][j], 3);
    hasPicture_ = true;
  } else {
    hasPicture_ = false;
    std::memset(picture_, 0, sizeof picture_);
    if (std::strncmp(name_, "Silence", 7) != 0) drawThumbnail(sawLoopless);
  }
  return kLoadOk;
}

void VORNsnd::takeNames(const char* path) {
  const int64_t n = static_cast<int64_t>(std::strlen(path));
  const int64_t stemEnd = n - kExtensionLength;
  if (stemEnd < 0) {
    name_[0] = '\0';
    setName_[0] = '\0';
    return;
  }
  int64_t slash = stemEnd - 1;
  while (slash >= 0 && path[slash] != '/') --slash;
  copyTail(path, slash + 1, stemEnd, name_);
  if (slash < 0) {
    setName_[0] = '\0';
    return;
  }
  int64_t previous = slash - 1;
  while (previous >= 0 && path[previous] != '/') --previous;
  copyTail(path, previous + 1, slash, setName_);
}

void VORNsnd::drawThumbnail(bool sawLoopless) {
  for (auto& row : picture_)
    for (auto& px : row) {
      px[0] = background_.red;
      px[1] = background_.green;
      px[2] = background_.blue;
    }
  if (main_.count < 1) return;

  int64_t picked = 0;
  for (int64_t i = 0; i < main_.count; ++i)
    if (main_.waves[i].rootKey > 59) {
      picked = i;
      break;
    }
  const Wavetable_Wave& w = main_.waves[picked];
  const float* data = w.data.get();

  constexpr int kColumns = kPictureColumns - 1;
  float s[kColumns];
  float peak = 0.0f;
  int64_t p = sawLoopless ? 0 : main_.waves[0].loopStart - 1;
  for (int c = 0; c < kColumns; ++c) {
    if (p > w.loopEnd) p -= (w.loopEnd - w.loopStart);
    if (p < 0) p = 0;
    int64_t index = p > w.length - 1 ? 0 : p;
    s[c] = data[index];
    peak = std::fmax(peak, std::fabs(s[c]));
    p = index + 6;
  }
  if (peak > 0.0f)
    for (float& v : s) v /= peak;

  const unsigned char full[3] = {foreground_.red, foreground_.green, foreground_.blue};
  unsigned char dim[3];
  for (int k = 0; k < 3; ++k) dim[k] = static_cast<unsigned char>(full[k] * 0.6);
  for (int c = 0; c < kColumns; ++c) {
    const int h = static_cast<int>((s[c] + 1.0f) * 10.0f);
    for (int r = 0; r < kPictureRows; ++r) {
      const unsigned char* colour = nullptr;
      if (r == h)
        colour = dim;
      else if (r < 10 ? r > h : r < h)
        colour = full;
      if (colour) std::memcpy(picture_[r][c], colour, 3);
    }
  }
}
