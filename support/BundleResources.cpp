#include "support/BundleResources.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

namespace {
void anchor() {}
}  // namespace

std::string BundleResources::moduleDirectory() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&anchor), &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  std::string file = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
  size_t slash = file.rfind('/');
  if (slash == std::string::npos) return {};
  return file.substr(0, slash == 0 ? 1 : slash);
}

namespace {
std::string& resourcesFolder() {
  static std::string resources = [] {
    std::string dir = BundleResources::moduleDirectory();
    return dir.empty() ? dir : (dir == "/" ? "/Resources" : dir + "/Resources");
  }();
  return resources;
}
}  // namespace

const std::string& BundleResources::path() { return resourcesFolder(); }

void BundleResources::overridePath(const std::string& folder) { resourcesFolder() = folder; }
