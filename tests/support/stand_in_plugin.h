// The one GetPluginClass() of the test programs that link the frame without the
// Veltrane object: it hands the frame whatever plug-in object the suite installed.
//
// Until a suite installs one, and again after UsePlugin(nullptr), the frame gets
// a quiet station plug-in of this file's own (identifiers 0, does nothing), so
// that an entry point reached outside any case still finds a plug-in.
#pragma once

#include "frame/plugin_entry.h"

namespace testing_support {

// Makes `plugin` the object GetPluginClass() answers from now on; null: back to
// the quiet default. The object stays the caller's and must outlive its use:
// install it for a case in SetUp and put back the default in TearDown when it
// dies with the fixture.
void UsePlugin(MQBasePlugin* plugin);

}  // namespace testing_support
