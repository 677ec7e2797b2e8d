#include "plugin/EngineWorker.h"

#include <chrono>

EngineWorker::EngineWorker(Job job) : job_(std::move(job)), thread_([this] { run(); }) {}

EngineWorker::~EngineWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void EngineWorker::drain() {
  while (busy()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void EngineWorker::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    // The audio thread never notifies (that could block it); poll instead.
    wake_.wait_for(lock, std::chrono::milliseconds(5));
    if (stop_) break;
    // Called on every round too, so the owner can free what the audio
    // thread has retired.
    lock.unlock();
    runJob();
    lock.lock();
  }
}

void EngineWorker::serve() { runJob(); }

void EngineWorker::runJob() {
  std::lock_guard<std::mutex> job(jobMutex_);
  working_.store(true, std::memory_order_release);
  const int soundSet = soundSet_.exchange(kNone, std::memory_order_acq_rel);
  const bool scale = scale_.exchange(false, std::memory_order_acq_rel);
  job_(soundSet, scale);
  working_.store(false, std::memory_order_release);
}
