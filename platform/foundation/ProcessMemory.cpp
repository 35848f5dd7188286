#include "platform/foundation/ProcessMemory.h"

#include <malloc.h>

namespace platform {

void keepFreedMemoryMapped() {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
    // Also what a trim leaves at a heap's top.
    mallopt(M_TOP_PAD, 32 << 20);
}

}  // namespace platform
