// One loaded plug-in module: the shared object and its VST entry point.
// Loaded with RTLD_NOW | RTLD_LOCAL, entry "VSTPluginMain", else "main";
// unloaded when the last owner lets go. A module made from a plain entry
// function (fromEntry) loads nothing, which lets tests host fake plug-ins.
// Threads: open/close from one thread (dlopen is not something to race).
#pragma once

#include <memory>
#include <string>

#include "vst/AEffect.h"

namespace host {

class PluginModule {
 public:
  using EntryProc = vst::AEffect* (*)(vst::audioMasterCallback);

  // Null on failure, with a sentence for a person in error.
  static std::shared_ptr<PluginModule> open(const std::string& path, std::string& error);
  static std::shared_ptr<PluginModule> fromEntry(EntryProc entry, const std::string& name);

  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  EntryProc entry() const { return entry_; }
  // The file path, or the name given to fromEntry.
  const std::string& path() const { return path_; }
  // "VSTPluginMain", "main", or "" for fromEntry.
  const std::string& entryName() const { return entryName_; }

 private:
  PluginModule(void* handle, EntryProc entry, std::string path, std::string entryName);

  void* handle_;
  EntryProc entry_;
  std::string path_;
  std::string entryName_;
};

}  // namespace host
