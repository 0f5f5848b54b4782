// The validator's global allocation functions: a counting allocator in the
// manner of a leak-checking test allocator, with a switch that makes the N-th
// allocation fail with std::bad_alloc.
//
// The plug-in is a separate shared library; its operator new calls reach these
// definitions because the executable's definitions come first in the dynamic
// linker's search order (the library does not bind them statically). The
// validator proves that with CallerTally before relying on it.
#pragma once

#include <cstdint>

namespace validator::alloc {

// Allocations made and not yet freed, through the global operator new.
int64_t Live();

// Only allocations made while counting is on can be chosen to fail; the
// validator turns it on around each call into the plug-in (host functions the
// plug-in calls meanwhile included) and off for its own work.
void SetCounting(bool on);
// Counted allocations since the last ResetCounted.
int64_t Counted();
void ResetCounted();

// Makes the counted allocation `nth` from now (0: the next one) throw
// std::bad_alloc, once. Disarm cancels a failure that has not fired.
void ArmFailure(int64_t nth);
void Disarm();
// Whether the armed failure fired, and failures thrown since the process began.
bool Fired();
int64_t Injected();

// Counts counted allocations whose immediate caller lies in the module that
// contains `address` (null: stop). The count answers whether that module's own
// new expressions reach this allocator.
void TallyCallersIn(const void* address);
int64_t CallerTally();

}  // namespace validator::alloc
