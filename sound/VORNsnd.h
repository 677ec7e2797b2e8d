// A sound: the waves of one VORNsnd file, kept in memory for the oscillators
// that play it, plus a small thumbnail picture of its wave shape.
//
// File layout (little-endian, no padding): 200-byte header (the writer's),
// int32 wave count N, N chunks of { "chnk", int32 length L, low velocity,
// high velocity, low key, high key, loop start, loop end, root key, two
// reserved int32, L float samples }, then optionally an int32 picture marker
// followed by 20 rows of 129 RGB triplets, each row stored right to left.
//
// Whatever a load runs into, the object ends up holding either the file's
// waves or one silent placeholder wave, never something an oscillator could
// read out of bounds. Failed loads raise the owner's SoundStatus flag.
//
// Threads: everything here runs on a control thread. Oscillators that play
// from this object must be marked as loading (Wavetable::isLoading) around
// loadVORNsnd/forget/blank/VolumeChange, or the object must not yet be
// visible to the audio thread (load into a fresh object, then re-point).
#pragma once

#include <cstdint>

#include "sound/SoundStatus.h"
#include "sound/Wavetable_Main.h"
#include "support/VornMain.h"

class VORNsnd : public VornMain {
 public:
  struct Color {
    unsigned char red = 0, green = 0, blue = 0, alpha = 0;
  };

  static constexpr int kHeaderSize = 200;
  static constexpr int kChunkHeaderSize = 44;
  static constexpr int kPictureRows = 20;
  static constexpr int kPictureColumns = 129;
  static constexpr int kPictureBytes = kPictureRows * kPictureColumns * 3;
  static constexpr int kNameSize = 25;
  static constexpr int64_t kBlankAllocated = 100;
  static constexpr int64_t kBlankLength = 90;
  static constexpr int64_t kLooplessTail = 60;  // extra samples behind a loopless wave
  static constexpr int64_t kLoopedTail = 12;    // extra samples behind a looped wave
  static constexpr float kSilentTail = 1e-20f;

  // Load results. 0 is success; the others are also the codes in the
  // standard-error line.
  enum LoadError : int {
    kLoadOk = 0,
    kErrFileMissing = 1,
    kErrHeaderShort = 23,
    kErrCountMissing = 25,
    kErrCountRange = 26,      // wave count outside 1..4024
    kErrChunkShort = 32,
    kErrChunkTag = 33,
    kErrLengthRange = 34,     // wave length not positive
    kErrSamplesShort = 35,    // fewer sample bytes left than the chunk claims
    kErrRootKeyRange = 36,    // root key outside 0..127
    kErrLoopEnd = 52,
    kErrLoopStart = 53,       // loop start beyond the wave or the loop end
    kErrPictureShort = 54,
    kErrWaveTooShort = 55,    // a looped wave of one sample
  };

  explicit VORNsnd(SoundStatus* status = nullptr);
  ~VORNsnd() override;
  VORNsnd(const VORNsnd&) = delete;
  VORNsnd& operator=(const VORNsnd&) = delete;

  // Control thread. Replaces the content with the file's waves; returns 0 or
  // the error code. On failure the object holds the blank wave and the
  // status flag is raised.
  int loadVORNsnd(const char* path);
  // Control thread. Frees every wave, clears picture and names.
  void forget();
  // Control thread. forget(), then one silent wave.
  void blank();
  // Control thread. Scales every playable sample; a non-finite gain is refused.
  void VolumeChange(float gain);
  // Control thread. Thumbnail colours (alpha ignored); used by the next drawing.
  void setColor(Color foreground, Color background);

  void setStatus(SoundStatus* status) { status_ = status; }
  SoundStatus* status() const { return status_; }

  const char* name() const { return name_; }
  const char* setName() const { return setName_; }
  const Wavetable_Main& waves() const { return main_; }
  int64_t waveCount() const { return main_.count; }
  const Wavetable_Wave& wave(int64_t index) const { return main_.waves[index]; }
  bool hasPicture() const { return hasPicture_; }
  // RGB of the thumbnail pixel at row 0..19, column 0..128.
  const unsigned char* pixel(int row, int column) const { return picture_[row][column]; }

 private:
  int fail(int code, const char* path);
  void setBlankState();
  void takeNames(const char* path);
  void drawThumbnail(bool sawLoopless);

  SoundStatus* status_ = nullptr;
  char name_[kNameSize] = {};
  char setName_[kNameSize] = {};
  Wavetable_Main main_;
  unsigned char picture_[kPictureRows][kPictureColumns][3] = {};
  bool hasPicture_ = false;
  Color background_{0, 0, 0, 0};
  Color foreground_{100, 100, 255, 0};
};
