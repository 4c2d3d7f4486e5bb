#include "Shared/FreeMemory.h"

#if __has_include(<malloc.h>) // which defines __GLIBC__: nothing included before does
#include <malloc.h>
#endif

namespace zen {

#if defined(__GLIBC__)
// One heap for every thread, set before any starts. With a heap per thread, the results a worker
// built pin pages among what it freed there, where the main thread's allocations cannot reuse them.
[[maybe_unused]] static const int oneHeap = ::mallopt(M_ARENA_MAX, 1);

void returnFreeMemoryToSystem()
{
    ::malloc_trim(0);
}
#else
void returnFreeMemoryToSystem() {}
#endif

} // namespace zen
