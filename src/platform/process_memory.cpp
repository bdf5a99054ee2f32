#include "process_memory.h"

#include <cstdlib> // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace pomorina {

void releaseLargeBlocksPromptly() {
#if defined(__GLIBC__)
    // Blocks from 128 KiB up get their own mapping, returned when freed.
    // A fixed threshold also stops glibc from raising it after the first
    // large block is freed, which would keep later ones in the heap.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
    // Elsewhere the system allocator already returns large blocks.
}

} // namespace pomorina
