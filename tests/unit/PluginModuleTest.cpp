#include <gtest/gtest.h>
#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "host/PluginModule.h"

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

vst::AEffect* nullEntry(vst::audioMasterCallback) { return nullptr; }
}  // namespace

TEST(PluginModule, MissingFileIsNamedPlainly) {
  std::string error;
  auto module = PluginModule::open("/nonexistent/dir/NoSuch.so", error);
  EXPECT_EQ(module, nullptr);
  EXPECT_NE(error.find("/nonexistent/dir/NoSuch.so"), std::string::npos) << error;
  EXPECT_NE(error.find("not found"), std::string::npos) << error;

  EXPECT_EQ(PluginModule::open("", error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(PluginModule::open("/tmp", error), nullptr);
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

TEST(PluginModule, OrdinarySharedLibraryIsNotAPlugin) {
  std::string path = libmPath();
  ASSERT_FALSE(path.empty());
  std::string error;
  EXPECT_EQ(PluginModule::open(path, error), nullptr);
  EXPECT_NE(error.find("not a VST plug-in"), std::string::npos) << error;
  EXPECT_NE(error.find("VSTPluginMain"), std::string::npos) << error;
}

TEST(PluginModule, FileThatIsNotASharedObjectIsRefused) {
  auto path = std::filesystem::temp_directory_path() /
              ("vellamor-host-" + std::to_string(getpid()) + "-fake.so");
  {
    std::ofstream out(path);
    out << "this is text, not an ELF object\n";
  }
  std::string error;
  auto module = PluginModule::open(path.string(), error);
  std::filesystem::remove(path);
  EXPECT_EQ(module, nullptr);
  EXPECT_NE(error.find("cannot load"), std::string::npos) << error;
  EXPECT_NE(error.find(path.string()), std::string::npos) << error;
}

TEST(PluginModule, FromEntryWrapsAFunctionWithoutLoadingAnything) {
  auto module = PluginModule::fromEntry(&nullEntry, "in-process");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module->entry(), &nullEntry);
  EXPECT_EQ(module->path(), "in-process");
  EXPECT_EQ(PluginModule::fromEntry(nullptr, "x"), nullptr);
}
