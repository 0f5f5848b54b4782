// The plug-in library the suites load. By default the one the build put beside
// the test program; with VELTRANE_TEST_PLUGIN set, that file instead, so that a
// suite can run against a DLL taken out of a release package, as it ships
// (scripts/check-package.sh does). On Windows the value is a Windows path.
#pragma once

#include <cstdlib>
#include <string>

#include "host/loader/paths.h"

namespace testing_support {

inline std::string PluginUnderTest() {
  const char* chosen = std::getenv("VELTRANE_TEST_PLUGIN");
  if (chosen != nullptr && *chosen != '\0') return chosen;
  return vhost::BesideExecutable(VELTRANE_PLUGIN_FILE);
}

}  // namespace testing_support
