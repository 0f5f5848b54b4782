// The widget suite's words for the counting allocator's failure switch.
#include "tests/support/counting_allocator.h"
#include "widget_test_support.h"

namespace testing_support {

void FailAllocation(int skip) {
  // Every allocation counts from here on, the widget layer's and the host's alike.
  testing_support::alloc::SetCounting(true);
  testing_support::alloc::ArmFailure(skip);
}
void DisarmAllocationFailure() {
  testing_support::alloc::Disarm();
  testing_support::alloc::SetCounting(false);
}
bool AllocationFailureArmed() { return testing_support::alloc::Armed(); }

}  // namespace testing_support
