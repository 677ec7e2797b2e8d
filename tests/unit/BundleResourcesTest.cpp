#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <string>

#include "support/BundleResources.h"

// Linked statically into the test program, the module holding the code is the
// test executable itself.
TEST(BundleResources, ResourcesSitBesideTheModuleFile) {
  char exe[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  ASSERT_GT(n, 0);
  std::string exePath(exe, static_cast<size_t>(n));
  std::string dir = exePath.substr(0, exePath.rfind('/'));
  EXPECT_EQ(BundleResources::moduleDirectory(), dir);
  EXPECT_EQ(BundleResources::path(), dir + "/Resources");
}
