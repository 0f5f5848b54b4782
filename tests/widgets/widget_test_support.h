// Shared by the widget-layer tests: a fixture that binds the plug-in code to the
// stand-in host and checks that every case leaves the registry empty, and a
// switch that makes one of the process's next allocations fail.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host/api/host_state.h"
#include "widgets/widget_base.h"

namespace testing_support {

// Makes the allocation `skip` allocations from now fail with std::bad_alloc
// (0: the very next one). Disarmed once it has fired, and by Disarm.
void FailAllocation(int skip = 0);
void DisarmAllocationFailure();
bool AllocationFailureArmed();

class WidgetTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  static vhost::WidgetTree& Host() { return vhost::State().widgets; }
  // Number of traced calls of `op` (all widgets), and the last one.
  static std::size_t Count(vhost::WidgetOpCode op) { return Host().TraceOf(op).size(); }
  static vhost::WidgetCall Last() { return Host().Trace().back(); }
};

}  // namespace testing_support
