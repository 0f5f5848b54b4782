#include "tests/support/stand_in_plugin.h"

namespace {

// The default object: a station plug-in that answers nothing of interest.
class QuietStation final : public MQStationPlugin {
 public:
  void GetPlugInID(uint32_t* product, uint32_t* id) override { *product = *id = 0; }
  const char* GetPlugInName() override { return "Stand-in plug-in"; }
};

QuietStation& Quiet() {
  static QuietStation station;  // built on first use, whatever the order of statics
  return station;
}

// Constant-initialised, so a suite may install its object from a static initialiser.
MQBasePlugin* g_installed = nullptr;

}  // namespace

MQBasePlugin* GetPluginClass() { return g_installed != nullptr ? g_installed : &Quiet(); }

namespace testing_support {

void UsePlugin(MQBasePlugin* plugin) { g_installed = plugin; }

}  // namespace testing_support
