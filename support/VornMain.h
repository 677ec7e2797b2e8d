// Base of every engine and data class: the object's sample rate, the data
// folders, integer preferences and small text helpers.
//
// The rate belongs to each object, not to the process: two plug-in instances
// at different rates share one module, and a sound set loaded on a worker
// must not disturb the instance playing. Objects start at 44100 Hz; their
// owner gives them its rate.
//
// Threads: sampleRate() may be read anywhere; setSampleRate() runs where the
// owner applies a rate (its audio thread at a block start, or before audio
// runs). Everything else is for the control thread only: the text helpers
// return static buffers (one per function, valid until its next call) and are
// for one caller at a time.
#pragma once

#include <atomic>
#include <string>

class VornMain {
 public:
  static constexpr float kDefaultRate = 44100.0f;

  VornMain();
  VornMain(const VornMain& other) : rate_(other.sampleRate()) {}
  VornMain& operator=(const VornMain& other) {
    rate_.store(other.sampleRate(), std::memory_order_relaxed);
    return *this;
  }
  virtual ~VornMain();

  float sampleRate() const { return rate_.load(std::memory_order_relaxed); }
  // Accepts only positive, finite rates; others leave the rate as it is.
  // Classes that own parts with rates of their own pass it on. Allocates
  // nothing, so the audio thread may call it.
  virtual void setSampleRate(float rate);

  // Resolves both data folders once per process from the product name.
  static void setDataPaths(const char* name);
  static const char* soundDataPath() { return s_soundDataPath; }
  static const char* presetBankPath() { return s_presetBankPath; }
  // presetBankPath + "/" + name into out, if it fits in size bytes; out is
  // left untouched otherwise, and when the preset folder is not known yet.
  static bool buildNameInUserDataPath(const char* name, char* out, unsigned long size);

  // Per-user data folder (with its trailing "/"), holding the skin selection.
  // Recomputed at every call; "" (after a message) when it cannot be found.
  static const char* getVstPath();
  // The part of path behind the per-user data folder, or the path unchanged
  // when it lies elsewhere (paths are cut to 259 characters).
  static char* makeRelativeVstPath(char* path);
  // Per-user data folder + "/" + rel, or " " when that would not fit.
  static char* getRelativeVstPath(char* rel);
  // Skin names are cut to 1023 characters.
  static void saveSelectedSkin(const char* name);
  // The saved skin name; "Default" (and saved so) when there is none.
  static const char* getSelectedSkin();
  // Name of the skin-selection file inside the per-user data folder.
  static constexpr const char* kSkinFileName = "\\none Skins\\Current.dat";
  static constexpr int kSkinRecordSize = 1024;

  static char* getNoteName(int note);
  static char* toUpperCase(char* s);
  static char* getPathOnly(char* path);
  static char* getNchars(const char* buf, int start, int n);
  static int getBufferChartoInt(const char* buf, int start, int n);
  static void showValue(float v);

  // Integer preferences; stored values are value + 1 so that 0 means "not set".
  // The key argument (the product key) is not used.
  static int readWindowsNumReg(const char* key, const char* valueName);
  static bool saveWindowsNumReg(const char* key, const char* valueName, int value);

  static constexpr int kPathSize = 4024;

 private:
  std::atomic<float> rate_{kDefaultRate};
  static char s_soundDataPath[kPathSize];
  static char s_presetBankPath[kPathSize];
};

// Machine-wide sound folder ("Sounds/Banks/Quillmark/<name>/" below the audio
// folder) and per-user preset folder ("Presets/<name>/", created if missing).
// The first computation in the process wins: later calls return the cached
// folder whatever name they pass. Control thread.
std::string getSoundsDirectory(const char* name);
std::string getPresetsDirectory(const char* name);
// The uncached computations behind the two above. Control thread.
std::string findSoundsDirectory(const char* name);
std::string createPresetsDirectory(const char* name);
// The audio data folder of the user (true: <XDG data home>/Audio) or the one
// holding the machine-wide sounds (false: the first of the user's and the
// XDG data dirs' "Audio" folders that holds our sound bank folder, else the
// user's). "" when no home folder is known. Control thread.
std::string getLibraryAudioDirectoryStr(bool user);
// The sound folder below the user's own audio folder, with a trailing "/",
// whether or not it exists yet; "" when no home folder is known.
std::string userSoundsDirectory(const char* name);
