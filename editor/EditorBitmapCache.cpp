#include "editor/EditorBitmapCache.h"

#include "support/MessageBox.h"

EditorBitmapCache::~EditorBitmapCache() { clear(); }

vgui::CBitmap* EditorBitmapCache::get(long id) {
  if (id == 0) return nullptr;
  for (Slot& slot : slots_) {
    if (slot.id == id) return slot.bitmap;
    if (slot.id == -1) {
      slot.bitmap = new vgui::CBitmap(id);
      slot.id = id;
      return slot.bitmap;
    }
  }
  MessageBox(0, "Bitmap Alocation Error!", "Error!", 0);
  return slots_[0].bitmap;
}

int EditorBitmapCache::used() const {
  int n = 0;
  for (const Slot& slot : slots_)
    if (slot.id != -1) ++n;
  return n;
}

void EditorBitmapCache::releaseScaled() {
  for (Slot& slot : slots_)
    if (slot.bitmap) slot.bitmap->releaseScaled();
}

void EditorBitmapCache::clear() {
  for (Slot& slot : slots_) {
    if (slot.bitmap) slot.bitmap->forget();
    slot.bitmap = nullptr;
    slot.id = -1;
  }
}
