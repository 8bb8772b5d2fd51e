#include "ProcessMemory.h"

#include <malloc.h>

namespace torvi {

namespace {

// Blocks this large and larger are mapped from the system and handed back
// when freed.
constexpr int MappedFrom = 4 << 20;

} // namespace

void LimitMemoryArenas() {
#ifdef M_ARENA_MAX
    mallopt(M_ARENA_MAX, 2);
#endif
#ifdef M_MMAP_THRESHOLD
    mallopt(M_MMAP_THRESHOLD, MappedFrom);
#endif
}

} // namespace torvi
