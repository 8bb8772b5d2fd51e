#include "ProcessMemory.h"

#include <malloc.h>

namespace torvi {

void LimitMemoryArenas() {
#ifdef M_ARENA_MAX
    mallopt(M_ARENA_MAX, 2);
#endif
}

} // namespace torvi
