#include "platform/foundation/ProcessMemory.h"

#include <malloc.h>

namespace platform {

void keepFreedMemoryMapped() {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
}

void giveFreedMemoryBack() { malloc_trim(0); }

}  // namespace platform
