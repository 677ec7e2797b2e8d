#include <gtest/gtest.h>
#include <dlfcn.h>

TEST(PluginModule, ExportsEntryPoints) {
  void* handle = dlopen(VELLAMOR_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  EXPECT_NE(dlsym(handle, "VSTPluginMain"), nullptr);
  EXPECT_NE(dlsym(handle, "main"), nullptr);
  dlclose(handle);
}
