#include "toolkit/ResourceBitmaps.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <utility>

namespace vgui {

namespace {

struct Entry {
  cairo_surface_t* surface;
  int users;
};

// Scales are told apart to a thousandth.
using Key = std::pair<long, long>;
Key keyOf(long id, double scale) { return {id, std::lround(scale * 1000.0)}; }

std::mutex gMutex;
std::string gFolder;
ResourceBitmaps::Painter gPainter = nullptr;
std::map<Key, Entry> gEntries;

cairo_surface_t* readPng(const std::string& path) {
  if (path.empty()) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  return s;
}

}  // namespace

void ResourceBitmaps::setFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(gMutex);
  gFolder = folder;
}

std::string ResourceBitmaps::getFolder() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gFolder;
}

void ResourceBitmaps::setPainter(Painter painter) {
  std::lock_guard<std::mutex> lock(gMutex);
  gPainter = painter;
}

std::string ResourceBitmaps::pathFor(long id, double scale) {
  long whole = std::lround(scale);
  if (whole < 1 || std::fabs(scale - static_cast<double>(whole)) > 1e-3) return {};
  char name[40];
  if (whole == 1)
    std::snprintf(name, sizeof(name), "bmp%05ld.png", id);
  else
    std::snprintf(name, sizeof(name), "bmp%05ld@%ldx.png", id, whole);
  std::string folder = getFolder();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + name;
}

cairo_surface_t* ResourceBitmaps::acquire(long id, double scale) {
  if (!(scale > 0)) return nullptr;
  std::string path = pathFor(id, scale);
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gEntries.find(keyOf(id, scale));
  if (it != gEntries.end()) {
    ++it->second.users;
    return it->second.surface;
  }
  cairo_surface_t* s = readPng(path);
  // At 1x the files are the skin; the painter only fills in other sizes.
  if (!s && gPainter && keyOf(id, scale).second != 1000) {
    s = gPainter(id, scale);
    if (s && cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(s);
      s = nullptr;
    }
  }
  if (!s) return nullptr;
  gEntries[keyOf(id, scale)] = Entry{s, 1};
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
  auto it = gEntries.find(keyOf(id, 1.0));
  return it == gEntries.end() ? 0 : it->second.users;
}

}  // namespace vgui
