#include "widget_test_support.h"

#include "frame/plugin_entry.h"
#include "protocol/entry_points.h"

namespace {

// The widget layer needs no particular plug-in; the frame needs one to exist.
class QuietStation : public MQStationPlugin {
 public:
  void GetPlugInID(uint32_t* product, uint32_t* id) override { *product = *id = 0; }
  const char* GetPlugInName() override { return "Widget tests"; }
};
QuietStation g_station;

}  // namespace

MQBasePlugin* GetPluginClass() { return &g_station; }

namespace widget_tests {

void WidgetTest::SetUp() {
  ASSERT_EQ(MQInit(vhost::ModulePath().c_str()), 1);
  vhost::State().Reset();
}

void WidgetTest::TearDown() {
  DisarmAllocationFailure();
  // Every wrapper a case made is gone, and took its registry entry with it.
  EXPECT_EQ(RegisteredWidgetCount(), 0u);
  EXPECT_EQ(Host().AliveIds(), std::vector<int32_t>{Host().MainWindow()})
      << "host widgets left behind";
}

}  // namespace widget_tests
