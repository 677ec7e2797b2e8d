// A background thread for the work that the audio thread may ask for but must
// not do itself: loading a sound set or a scale file after a MIDI program
// change or a sample-rate change. The audio thread only stores requests in
// atomics; the worker notices them within a few milliseconds.
//
// Threads: request*() from any thread (lock-free); the job runs on the worker.
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

  void requestSoundSet(int code) { soundSet_.store(code, std::memory_order_release); }
  void requestScale() { scale_.store(true, std::memory_order_release); }
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

  Job job_;
  std::atomic<int> soundSet_{kNone};
  std::atomic<bool> scale_{false};
  std::atomic<bool> working_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};
