#include "host/HostRecorder.h"

namespace host {

HostRecorder::HostRecorder() {
  for (auto& count : calls_) count.store(0);
}

void HostRecorder::countCall(vst::VstInt32 opcode) {
  if (opcode >= 0 && opcode < kCountedOpcodes)
    calls_[static_cast<std::size_t>(opcode)].fetch_add(1);
  else
    unknownCalls_.fetch_add(1);
}

int HostRecorder::callCount(vst::VstInt32 opcode) const {
  if (opcode < 0 || opcode >= kCountedOpcodes) return 0;
  return calls_[static_cast<std::size_t>(opcode)].load();
}

int HostRecorder::unknownCallCount() const { return unknownCalls_.load(); }

void HostRecorder::recordAutomation(int index, float value) {
  std::lock_guard lock(mutex_);
  automations_.push_back({index, value, std::this_thread::get_id()});
}

void HostRecorder::recordEdit(int index, bool begin) {
  std::lock_guard lock(mutex_);
  edits_.push_back({index, begin});
}

void HostRecorder::recordDisplayUpdate() { displayUpdates_.fetch_add(1); }

void HostRecorder::recordWindowSize(int width, int height) {
  std::lock_guard lock(mutex_);
  windowSizes_.push_back({width, height});
}

void HostRecorder::recordEventsFromPlugin(int count) {
  if (count > 0) eventsFromPlugin_.fetch_add(count);
}

std::vector<HostRecorder::Automation> HostRecorder::automations() const {
  std::lock_guard lock(mutex_);
  return automations_;
}

std::vector<HostRecorder::Edit> HostRecorder::edits() const {
  std::lock_guard lock(mutex_);
  return edits_;
}

std::vector<HostRecorder::WindowSize> HostRecorder::windowSizes() const {
  std::lock_guard lock(mutex_);
  return windowSizes_;
}

int HostRecorder::displayUpdates() const { return displayUpdates_.load(); }

int HostRecorder::eventsFromPlugin() const { return eventsFromPlugin_.load(); }

void HostRecorder::clear() {
  std::lock_guard lock(mutex_);
  automations_.clear();
  edits_.clear();
  windowSizes_.clear();
  for (auto& count : calls_) count.store(0);
  unknownCalls_.store(0);
  displayUpdates_.store(0);
  eventsFromPlugin_.store(0);
}

}  // namespace host
