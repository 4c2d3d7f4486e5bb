#include "Shared/FreeMemory.h"

#include <cstdint>

#if defined(__linux__)
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

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

void unmapProgramCodeNotInUse()
{
#if defined(__linux__)
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) -> int {
            const uintptr_t page = uintptr_t(::sysconf(_SC_PAGESIZE));
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                // Only what is never written: dropping a written page would lose its contents.
                if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W))
                    continue;
                const uintptr_t start = (info->dlpi_addr + segment.p_vaddr) & ~(page - 1);
                const uintptr_t end = (info->dlpi_addr + segment.p_vaddr + segment.p_memsz) & ~(page - 1);
                if (end > start)
                    ::madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
            }
            return 1; // the program itself comes first; the libraries are not ours
        },
        nullptr);
#endif
}

} // namespace zen
