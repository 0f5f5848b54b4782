#include "test_plugins.h"

namespace {
testing_plugins::RecordingStation g_default;
MQBasePlugin* g_plugin = &g_default;
}  // namespace

MQBasePlugin* GetPluginClass() { return g_plugin; }

namespace testing_plugins {
void UsePlugin(MQBasePlugin* plugin) { g_plugin = plugin != nullptr ? plugin : &g_default; }
}  // namespace testing_plugins
