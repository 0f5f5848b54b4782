#include "widget_test_support.h"

#include "protocol/entry_points.h"

// The widget layer needs no particular plug-in; the frame needs one to exist, and
// the stand-in's default (tests/support/stand_in_plugin.h) is that one.

namespace testing_support {

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

}  // namespace testing_support
