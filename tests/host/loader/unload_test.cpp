// A host may load and unload the plug-in many times in one process: each unload
// must really unmap the library, with nothing left pinning it.
#include <gtest/gtest.h>

#include "host/api/host_state.h"
#include "host/loader/paths.h"
#include "host/loader/plugin_library.h"
#include "tests/support/plugin_under_test.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

bool IsMapped(const std::string& path) {
#if defined(_WIN32)
  return GetModuleHandleA(path.c_str()) != nullptr;
#else
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
#endif
}

TEST(Unload, EachUnloadUnmapsTheLibrary) {
  const std::string path = testing_support::PluginUnderTest();
  ASSERT_FALSE(IsMapped(path));
  for (int round = 0; round < 25; ++round) {
    {
      auto plugin = vhost::PluginLibrary::Load(path);
      ASSERT_TRUE(plugin->Init(vhost::ModulePath()));
      EXPECT_EQ(plugin->Event(nullptr, 1, nullptr), 1);
      EXPECT_EQ(plugin->Event(nullptr, 2, nullptr), 1);
      EXPECT_TRUE(IsMapped(path));
    }
    ASSERT_FALSE(IsMapped(path)) << "still mapped after unload " << round;
  }
}

}  // namespace
