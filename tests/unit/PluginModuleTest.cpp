#include <gtest/gtest.h>
#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "host/PluginModule.h"
#include "testsupport/TestFiles.h"

using host::PluginModule;

namespace {
std::string libmPath() {
  void* handle = dlopen("libm.so.6", RTLD_NOW | RTLD_LOCAL);
  if (!handle) return {};
  Dl_info info{};
  void* symbol = dlsym(handle, "cos");
  std::string path = symbol && dladdr(symbol, &info) && info.dli_fname ? info.dli_fname : "";
  dlclose(handle);
  return path;
}
}  // namespace

TEST(PluginModule, WhatIsNotAPluginIsRefusedWithTheReasonAndPath) {
  testfiles::TempDir tmp("vellamor-host");
  const std::string text = testfiles::writeFile(tmp / "fake.so", std::string("text, not ELF\n")).string();
  const std::string libm = libmPath();
  ASSERT_FALSE(libm.empty());
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"/nonexistent/dir/NoSuch.so", {"not found", "/nonexistent/dir/NoSuch.so"}},
      {"", {}},
      {"/tmp", {"not a regular file"}},
      {libm, {"not a VST plug-in", "VSTPluginMain"}},
      {text, {"cannot load", text}}};
  for (const auto& [path, mentions] : cases) {
    std::string error;
    EXPECT_EQ(PluginModule::open(path, error), nullptr) << path;
    EXPECT_FALSE(error.empty()) << path;
    for (const std::string& m : mentions) EXPECT_NE(error.find(m), std::string::npos) << error;
  }
  EXPECT_EQ(PluginModule::fromEntry(nullptr, "x"), nullptr);
}
