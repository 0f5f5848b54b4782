// The test program's global allocation functions, with a switch that makes one
// allocation fail. Alone in their file, so the compiler sees no caller of them
// inline. The whole program allocates through them: the plug-in code and (on
// Linux, by interposition) the stand-in host's module included.
#include <cstdlib>
#include <new>

#include "widget_test_support.h"

namespace {
// Allocations to let through before one fails; negative: none fails.
int g_allocationsBeforeFailure = -1;
}  // namespace

void* operator new(std::size_t size) {
  if (g_allocationsBeforeFailure >= 0 && g_allocationsBeforeFailure-- == 0) throw std::bad_alloc();
  if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t /*size*/) noexcept { std::free(memory); }

namespace testing_support {

void FailAllocation(int skip) { g_allocationsBeforeFailure = skip; }
void DisarmAllocationFailure() { g_allocationsBeforeFailure = -1; }
bool AllocationFailureArmed() { return g_allocationsBeforeFailure >= 0; }

}  // namespace testing_support
