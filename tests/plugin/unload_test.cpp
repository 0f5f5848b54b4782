// A host may load and unload the plug-in many times in one process: each unload
// must really unmap the library, with nothing left pinning it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "host/driver/plugin_library.h"
#include "host/module/host_module.h"

namespace {

bool IsMapped(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

TEST(Unload, EachUnloadUnmapsTheLibrary) {
  ASSERT_FALSE(IsMapped(VELTRANE_PLUGIN_PATH));
  for (int round = 0; round < 25; ++round) {
    {
      auto plugin = vhost::PluginLibrary::Load(VELTRANE_PLUGIN_PATH);
      ASSERT_TRUE(plugin->Init(vhost::ModulePath()));
      EXPECT_EQ(plugin->Event(nullptr, 1, nullptr), 1);
      EXPECT_EQ(plugin->Event(nullptr, 2, nullptr), 1);
      EXPECT_TRUE(IsMapped(VELTRANE_PLUGIN_PATH));
    }
    ASSERT_FALSE(IsMapped(VELTRANE_PLUGIN_PATH)) << "still mapped after unload " << round;
  }
}

}  // namespace
