// Base of every engine and data class: the engine-wide sample rate, the data
// folders, integer preferences and small text helpers.
//
// Threads: sampleRate() may be read anywhere; setSampleRate() is called by the
// renderer (audio thread) and by constructors. The text helpers return static
// buffers and are for one caller at a time (control thread).
#pragma once

#include <atomic>
#include <string>

class VornMain {
 public:
  VornMain();
  virtual ~VornMain();

  static float sampleRate() { return srate.load(std::memory_order_relaxed); }
  // Accepts only positive, finite rates.
  static void setSampleRate(float rate);

  // Resolves both data folders once per process from the product name.
  static void setDataPaths(const char* name);
  static const char* soundDataPath() { return s_soundDataPath; }
  static const char* presetBankPath() { return s_presetBankPath; }
  // presetBankPath + "/" + name into out, if it fits in size bytes.
  static bool buildNameInUserDataPath(const char* name, char* out, unsigned long size);

  // Per-user data folder (with its trailing "/"), holding the skin selection.
  static const char* getVstPath();
  static char* makeRelativeVstPath(char* path);
  static char* getRelativeVstPath(char* rel);
  static void saveSelectedSkin(const char* name);
  static const char* getSelectedSkin();

  static char* getNoteName(int note);
  static char* toUpperCase(char* s);
  static char* getPathOnly(char* path);
  static char* getNchars(const char* buf, int start, int n);
  static int getBufferChartoInt(const char* buf, int start, int n);
  static void showValue(float v);

  // Integer preferences; stored values are value + 1 so that 0 means "not set".
  static int readWindowsNumReg(const char* key, const char* valueName);
  static bool saveWindowsNumReg(const char* key, const char* valueName, int value);

  static constexpr int kPathSize = 4024;

 private:
  static std::atomic<float> srate;
  static char s_soundDataPath[kPathSize];
  static char s_presetBankPath[kPathSize];
};

// Machine-wide sound folder ("Sounds/Banks/Quillmark/<name>/" below the audio
// folder) and per-user preset folder ("Presets/<name>/", created if missing).
std::string getSoundsDirectory(const char* name);
std::string getPresetsDirectory(const char* name);
// The audio data folder of the user (true) or the one holding the machine-wide
// sounds (false); see the README for how these map onto the XDG folders.
std::string getLibraryAudioDirectoryStr(bool user);
