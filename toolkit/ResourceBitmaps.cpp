#include "toolkit/ResourceBitmaps.h"

#include <cstdio>
#include <map>
#include <mutex>

namespace vgui {

namespace {

struct Entry {
  cairo_surface_t* surface;
  int users;
};

std::mutex gMutex;
std::string gFolder;
std::map<long, Entry> gEntries;

}  // namespace

void ResourceBitmaps::setFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(gMutex);
  gFolder = folder;
}

std::string ResourceBitmaps::getFolder() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gFolder;
}

std::string ResourceBitmaps::pathFor(long id) {
  char name[32];
  std::snprintf(name, sizeof(name), "bmp%05ld.png", id);
  std::string folder = getFolder();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + name;
}

cairo_surface_t* ResourceBitmaps::acquire(long id) {
  std::string path = pathFor(id);
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gEntries.find(id);
  if (it != gEntries.end()) {
    ++it->second.users;
    return it->second.surface;
  }
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  gEntries[id] = Entry{s, 1};
  return s;
}

void ResourceBitmaps::release(cairo_surface_t* surface) {
  if (!surface) return;
  std::lock_guard<std::mutex> lock(gMutex);
  for (auto it = gEntries.begin(); it != gEntries.end(); ++it) {
    if (it->second.surface != surface) continue;
    if (--it->second.users == 0) {
      cairo_surface_destroy(surface);
      gEntries.erase(it);
    }
    return;
  }
}

int ResourceBitmaps::cachedCount() {
  std::lock_guard<std::mutex> lock(gMutex);
  return static_cast<int>(gEntries.size());
}

int ResourceBitmaps::usersOf(long id) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gEntries.find(id);
  return it == gEntries.end() ? 0 : it->second.users;
}

}  // namespace vgui
