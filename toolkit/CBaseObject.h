// Reference-counted base of views and bitmaps: whoever keeps a pointer calls
// remember(), and forget() when done; the last forget() deletes the object.
// Threads: GUI thread (the count itself is atomic so a bitmap made on the
// plug-in's constructor thread may be shared later).
#pragma once

#include <atomic>

namespace vgui {

class CBaseObject {
 public:
  CBaseObject();
  CBaseObject(const CBaseObject&) = delete;
  CBaseObject& operator=(const CBaseObject&) = delete;

  void remember() { references_.fetch_add(1, std::memory_order_relaxed); }
  void forget();
  int getNbReference() const { return references_.load(std::memory_order_relaxed); }

  // Number of live toolkit objects in the process; leak checks use it.
  static long liveObjects();

 protected:
  virtual ~CBaseObject();

 private:
  std::atomic<int> references_{1};
};

}  // namespace vgui
