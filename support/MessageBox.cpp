#include "support/MessageBox.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Everything below is guarded by one lock. Messages are rare; the audio
// thread raises none.
struct Registry {
  struct Entry {
    MessageBoxHandler* handler;
    const void* owner;
  };
  struct Mark {
    std::thread::id thread;
    const void* owner;
    bool later;
  };
  struct Call {
    MessageBoxHandler* handler;
    std::thread::id thread;
  };
  std::mutex mutex;
  std::condition_variable callEnded;
  std::vector<Entry> handlers;
  std::vector<Mark> marks;  // the owner scopes of all threads, innermost last
  std::vector<Call> calls;  // show() calls under way

  MessageBoxHandler* find(const void* owner) const {
    if (owner)
      for (auto it = handlers.rbegin(); it != handlers.rend(); ++it)
        if (it->owner == owner) return it->handler;
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it)
      if (!it->owner) return it->handler;
    return nullptr;
  }

  bool runsElsewhere(MessageBoxHandler* handler, std::thread::id self) const {
    return std::any_of(calls.begin(), calls.end(), [&](const Call& c) {
      return c.handler == handler && c.thread != self;
    });
  }
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

void installMessageBoxHandler(MessageBoxHandler* handler, const void* owner) {
  if (!handler) return;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.handlers.push_back({handler, owner});
}

void removeMessageBoxHandler(MessageBoxHandler* handler) {
  Registry& r = registry();
  std::unique_lock<std::mutex> lock(r.mutex);
  auto& h = r.handlers;
  h.erase(std::remove_if(h.begin(), h.end(),
                         [&](const Registry::Entry& e) { return e.handler == handler; }),
          h.end());
  // A call on this very thread is further up our own stack: waiting for it
  // could never end.
  std::thread::id self = std::this_thread::get_id();
  r.callEnded.wait(lock, [&] { return !r.runsElsewhere(handler, self); });
}

MessageBoxOwner::MessageBoxOwner(const void* owner, bool later) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.marks.push_back({std::this_thread::get_id(), owner, later});
}

MessageBoxOwner::~MessageBoxOwner() {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  std::thread::id self = std::this_thread::get_id();
  for (auto it = r.marks.rbegin(); it != r.marks.rend(); ++it)
    if (it->thread == self) {
      r.marks.erase(std::next(it).base());
      break;
    }
}

namespace {

bool deliver(const void* owner, const char* text, const char* title, int type, bool later) {
  if (!text) text = "";
  if (!title) title = "";
  Registry& r = registry();
  std::thread::id self = std::this_thread::get_id();
  MessageBoxHandler* handler = nullptr;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    handler = r.find(owner);
    // Registered as running before the lock goes: removal now waits for us.
    if (handler) r.calls.push_back({handler, self});
  }
  if (!handler) {
    // Nobody to ask: a question gets "No", an alert its default button.
    std::fprintf(stderr, "Vellamor-ZUL: %s %s\n", title, text);
    return type != 1;
  }
  bool answer = true;
  if (later)
    handler->post(text, title);
  else
    answer = handler->show(text, title, type);
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = std::find_if(r.calls.begin(), r.calls.end(), [&](const Registry::Call& c) {
      return c.handler == handler && c.thread == self;
    });
    if (it != r.calls.end()) r.calls.erase(it);
  }
  r.callEnded.notify_all();
  return answer;
}

}  // namespace

bool MessageBoxFor(const void* owner, const char* text, const char* title, int type) {
  return deliver(owner, text, title, type, false);
}

bool MessageBox(int /*window*/, const char* text, const char* title, int type) {
  const void* owner = nullptr;
  bool later = false;
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::thread::id self = std::this_thread::get_id();
    for (auto it = r.marks.rbegin(); it != r.marks.rend(); ++it)
      if (it->thread == self) {
        owner = it->owner;
        later = it->later;
        break;
      }
  }
  // Only an alert can wait: a question needs its answer now.
  return deliver(owner, text, title, type, later && type != 1);
}
