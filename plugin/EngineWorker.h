// A background thread for the work that the audio thread may ask for but must
// not do itself: loading a sound set or a scale file after a MIDI program
// change or a sample-rate change. The audio thread only stores requests in
// atomics; the worker notices them within a few milliseconds.
//
// A host with a worker of its own (LV2's) may be told of each request and
// serve it on its thread; the polling thread stays as the fallback and takes
// whatever nobody served first.
//
// Threads: request*() from any thread (lock-free); the job runs on the worker
// or on the thread that calls serve().
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class EngineWorker {
 public:
  static constexpr int kNone = -2;
  // Runs every few milliseconds on the worker; soundSet is kNone and scale
  // false when nothing was asked for.
  using Job = std::function<void(int soundSet, bool scale)>;

  explicit EngineWorker(Job job);
  ~EngineWorker();
  EngineWorker(const EngineWorker&) = delete;
  EngineWorker& operator=(const EngineWorker&) = delete;

  // Called after each request, on the requesting thread; it must not block.
  using Notify = void (*)(void* context);
  // Before any request can be made (the engine is being built or idle).
  void setNotify(Notify notify, void* context) { notify_ = notify, context_ = context; }

  void requestSoundSet(int code) {
    soundSet_.store(code, std::memory_order_release);
    if (notify_) notify_(context_);
  }
  void requestScale() {
    scale_.store(true, std::memory_order_release);
    if (notify_) notify_(context_);
  }
  // Serves what was asked for so far on the calling thread (never the audio
  // thread of a real-time run).
  void serve();
  // True while a request is waiting or being worked on.
  bool busy() const {
    // Requests first: the worker raises working_ before it takes one.
    return soundSet_.load(std::memory_order_acquire) != kNone ||
           scale_.load(std::memory_order_acquire) || working_.load(std::memory_order_acquire);
  }
  // Control thread: waits until every request made so far has been served.
  void drain();

 private:
  void run();
  void runJob();

  Job job_;
  std::atomic<int> soundSet_{kNone};
  std::atomic<bool> scale_{false};
  std::atomic<bool> working_{false};
  Notify notify_ = nullptr;
  void* context_ = nullptr;
  std::mutex jobMutex_;  // one job at a time, whoever runs it
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};
