#include "toolkit/CBaseObject.h"

namespace vgui {

namespace {
std::atomic<long> gLiveObjects{0};
}

CBaseObject::CBaseObject() { gLiveObjects.fetch_add(1, std::memory_order_relaxed); }

CBaseObject::~CBaseObject() { gLiveObjects.fetch_sub(1, std::memory_order_relaxed); }

void CBaseObject::forget() {
  if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

long CBaseObject::liveObjects() { return gLiveObjects.load(std::memory_order_relaxed); }

}  // namespace vgui
