// What a plug-in told its host: automation, begin/end edit, display updates,
// window size requests and how often each callback opcode arrived. Calls may
// come from the GUI thread and the audio thread at once, hence the lock.
// Threads: any.
#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "vst/AEffect.h"

namespace host {

class HostRecorder {
 public:
  struct Automation {
    int index;
    float value;
    std::thread::id thread;
  };
  struct Edit {
    int index;
    bool begin;  // false: end of the gesture
  };
  struct WindowSize {
    int width;
    int height;
  };

  HostRecorder();

  // Counts every callback opcode; out-of-range opcodes count in one bucket.
  void countCall(vst::VstInt32 opcode);
  int callCount(vst::VstInt32 opcode) const;
  int unknownCallCount() const;

  void recordAutomation(int index, float value);
  void recordEdit(int index, bool begin);
  void recordDisplayUpdate();
  void recordWindowSize(int width, int height);
  void recordEventsFromPlugin(int count);

  std::vector<Automation> automations() const;
  std::vector<Edit> edits() const;
  std::vector<WindowSize> windowSizes() const;
  int displayUpdates() const;
  int eventsFromPlugin() const;

  // Forgets the records and the counts.
  void clear();

 private:
  static constexpr int kCountedOpcodes = 64;

  mutable std::mutex mutex_;
  std::vector<Automation> automations_;
  std::vector<Edit> edits_;
  std::vector<WindowSize> windowSizes_;
  std::array<std::atomic<int>, kCountedOpcodes> calls_;
  std::atomic<int> unknownCalls_{0};
  std::atomic<int> displayUpdates_{0};
  std::atomic<int> eventsFromPlugin_{0};
};

}  // namespace host
