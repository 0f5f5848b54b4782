// The allocation functions of the assimp harness: those of the system, except
// that a request past kLargest fails with std::bad_alloc, as it does on a real
// machine, which has no 80 GB to give.
//
// The tool imports through assimp in a child process, where a request larger
// than the machine fails with std::bad_alloc, which the child reports as the
// file's "out of memory" error. The harness imports in its own process, under
// AddressSanitizer, whose operator new never throws: it ends the run at a
// request it cannot meet, and libFuzzer's malloc limit (the -rss_limit_mb the
// harness runs with) calls any request past 4 GiB a crash. Assimp asks for
// that much on a few bytes of some files (a PLY element of billions of records
// asked for at once), which the child survives as an error; with these
// functions the harness sees that same error. Requests below the bound go to
// malloc, which the sanitizer still watches.
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kLargest = std::size_t{1} << 30;

void* Allocate(std::size_t size) {
  if (size > kLargest) throw std::bad_alloc();
  void* memory = std::malloc(size != 0 ? size : 1);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
  if (size > kLargest) throw std::bad_alloc();
  const auto align = static_cast<std::size_t>(alignment);
  void* memory = std::aligned_alloc(align, (size + align - 1) / align * align);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return size > kLargest ? nullptr : std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return size > kLargest ? nullptr : std::malloc(size != 0 ? size : 1);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return AllocateAligned(size, alignment);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
