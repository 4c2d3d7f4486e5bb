#include "Shared/FreeMemory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zen {

void returnFreeMemoryToSystem()
{
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

} // namespace zen
