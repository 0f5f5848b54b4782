// Alone in their file, so no caller of the allocation functions sees them inline.
#include "tests/support/counting_allocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace {

// Atomic: a model reader allocates on a second thread too.
std::atomic<int64_t> g_live{0};
bool g_counting = false;
int64_t g_counted = 0;
int64_t g_failAt = -1;  // counted allocation number that fails; -1: none
bool g_fired = false;
int64_t g_injected = 0;
#if !defined(_WIN32)
const void* g_tallyBase = nullptr;  // load address of the tallied module
int64_t g_tally = 0;
#endif

void* Allocate(std::size_t size, [[maybe_unused]] const void* caller) {
  if (g_counting) {
    if (g_failAt >= 0 && g_counted == g_failAt) {
      ++g_counted;
      g_failAt = -1;
      g_fired = true;
      ++g_injected;
      throw std::bad_alloc();
    }
    ++g_counted;
#if !defined(_WIN32)
    if (g_tallyBase != nullptr) {
      Dl_info info{};
      if (dladdr(caller, &info) != 0 && info.dli_fbase == g_tallyBase) ++g_tally;
    }
#endif
  }
  void* memory = std::malloc(size != 0 ? size : 1);
  if (memory == nullptr) throw std::bad_alloc();
  g_live.fetch_add(1, std::memory_order_relaxed);
  return memory;
}

void Release(void* memory) noexcept {
  if (memory == nullptr) return;
  g_live.fetch_sub(1, std::memory_order_relaxed);
  std::free(memory);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size, __builtin_return_address(0)); }
void* operator new[](std::size_t size) { return Allocate(size, __builtin_return_address(0)); }
void operator delete(void* memory) noexcept { Release(memory); }
void operator delete[](void* memory) noexcept { Release(memory); }
void operator delete(void* memory, std::size_t /*size*/) noexcept { Release(memory); }
void operator delete[](void* memory, std::size_t /*size*/) noexcept { Release(memory); }
// The forms that answer null instead of throwing (std::stable_sort's buffer
// asks for one): counted memory like the rest, so that whichever delete the
// library calls frees what this file allocated. An injected failure is null.
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
  try {
    return Allocate(size, __builtin_return_address(0));
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
  try {
    return Allocate(size, __builtin_return_address(0));
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* memory, const std::nothrow_t& /*tag*/) noexcept { Release(memory); }
void operator delete[](void* memory, const std::nothrow_t& /*tag*/) noexcept { Release(memory); }

namespace testing_support::alloc {

int64_t Live() { return g_live.load(std::memory_order_relaxed); }
void SetCounting(bool on) { g_counting = on; }
int64_t Counted() { return g_counted; }
void ResetCounted() { g_counted = 0; }
void ArmFailure(int64_t nth) {
  g_failAt = g_counted + nth;
  g_fired = false;
}
void Disarm() { g_failAt = -1; }
bool Armed() { return g_failAt >= 0; }
bool Fired() { return g_fired; }
int64_t Injected() { return g_injected; }

#if !defined(_WIN32)
void TallyCallersIn(const void* address) {
  g_tally = 0;
  g_tallyBase = nullptr;
  Dl_info info{};
  if (address != nullptr && dladdr(address, &info) != 0) g_tallyBase = info.dli_fbase;
}
int64_t CallerTally() { return g_tally; }
#endif

}  // namespace testing_support::alloc
