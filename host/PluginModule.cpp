#include "host/PluginModule.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace host {

PluginModule::PluginModule(void* handle, EntryProc entry, std::string path,
                           std::string entryName)
    : handle_(handle), entry_(entry), path_(std::move(path)), entryName_(std::move(entryName)) {}

PluginModule::~PluginModule() {
  if (handle_) dlclose(handle_);
}

std::shared_ptr<PluginModule> PluginModule::open(const std::string& path, std::string& error) {
  error.clear();
  if (path.empty()) {
    error = "no plug-in module path given";
    return nullptr;
  }
  // dlopen's own text for a missing file is vague; say it plainly.
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    error = "plug-in module '" + path + "' not found: " + std::strerror(errno);
    return nullptr;
  }
  if (!S_ISREG(info.st_mode)) {
    error = "plug-in module '" + path + "' is not a regular file";
    return nullptr;
  }
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    error = "cannot load plug-in module '" + path + "' (not a loadable shared object?): " +
            (why ? why : "unknown dlopen error");
    return nullptr;
  }
  const char* names[] = {"VSTPluginMain", "main"};
  for (const char* name : names) {
    void* symbol = dlsym(handle, name);
    if (symbol) {
      auto entry = reinterpret_cast<EntryProc>(symbol);
      return std::shared_ptr<PluginModule>(new PluginModule(handle, entry, path, name));
    }
  }
  dlclose(handle);
  error = "'" + path + "' is not a VST plug-in: it exports neither VSTPluginMain nor main";
  return nullptr;
}

std::shared_ptr<PluginModule> PluginModule::fromEntry(EntryProc entry, const std::string& name) {
  if (!entry) return nullptr;
  return std::shared_ptr<PluginModule>(new PluginModule(nullptr, entry, name, ""));
}

}  // namespace host
