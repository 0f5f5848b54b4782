// The test programs' one allocator: the global operator new and delete of every
// suite and of the validator, counting what is live and able to make a chosen
// allocation fail with std::bad_alloc.
//
// On Linux the plug-in and the host module are shared libraries; their operator
// new calls reach these definitions because the executable's come first in the
// dynamic linker's search order (neither library binds them statically). The
// validator proves that with CallerTally before relying on it. On Windows only
// the test program's own code (the host functions, and the plug-in's layers a
// suite links in) allocates through them.
//
// Threading: the live count is exact whatever thread allocates (the OBJ reader
// splits large files on a second one). Counting and failures are for one
// thread: a harness turns them on only around its calls into the plug-in.
#pragma once

#include <cstdint>

namespace testing_support::alloc {

// Allocations made and not yet freed, through the global operator new.
int64_t Live();

// Only allocations made while counting is on can be chosen to fail; a harness
// turns it on around each call into the plug-in and off for its own work.
void SetCounting(bool on);
// Counted allocations since the last ResetCounted.
int64_t Counted();
void ResetCounted();

// Makes the counted allocation `nth` from now (0: the next one) throw
// std::bad_alloc, once. Disarm cancels a failure that has not fired.
void ArmFailure(int64_t nth);
void Disarm();
// Whether a failure is armed and has not fired yet.
bool Armed();
// Whether the last armed failure fired, and failures thrown since the process began.
bool Fired();
int64_t Injected();

#if !defined(_WIN32)
// Counts counted allocations whose immediate caller lies in the module that
// contains `address` (null: stop). The count answers whether that module's own
// new expressions reach this allocator.
void TallyCallersIn(const void* address);
int64_t CallerTally();
#endif

}  // namespace testing_support::alloc
