// Records the largest single allocation made while a probe is alive.
// Include in exactly one source file of a test program: it replaces the
// global operator new and delete.
#pragma once

// The replacements below pair malloc with operator new on purpose.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

#include <cstdlib>
#include <new>

namespace tessel::test {
inline bool gProbeOn = false;
inline std::size_t gLargest = 0;
struct TAllocationProbe {
  TAllocationProbe() { gLargest = 0, gProbeOn = true; }
  ~TAllocationProbe() { gProbeOn = false; }
};
}  // namespace tessel::test

void* operator new(std::size_t size) {
  if (tessel::test::gProbeOn && size > tessel::test::gLargest) tessel::test::gLargest = size;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
