// The editor's cache of control bitmaps: eleven slots filled in order by
// resource number, so every knob shares one film strip.
// Threads: the host's GUI thread (and the plug-in's constructor thread).
#pragma once

#include "toolkit/CBitmap.h"

class EditorBitmapCache {
 public:
  static constexpr int kSlots = 11;

  EditorBitmapCache() = default;
  ~EditorBitmapCache();
  EditorBitmapCache(const EditorBitmapCache&) = delete;
  EditorBitmapCache& operator=(const EditorBitmapCache&) = delete;

  // The bitmap of resource `id` (the cache keeps the reference); null for 0.
  // With every slot taken by other numbers it says so in a message box and
  // answers the first slot's bitmap.
  vgui::CBitmap* get(long id);
  // Number of slots in use.
  int used() const;
  long idAt(int slot) const { return (slot >= 0 && slot < kSlots) ? slots_[slot].id : -1; }
  void clear();
  // Lets every bitmap's picture for a zoomed window go.
  void releaseScaled();

 private:
  struct Slot {
    vgui::CBitmap* bitmap = nullptr;
    long id = -1;
  };
  Slot slots_[kSlots];
};
