#include "AllocationCounter.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TORVI_COUNT_WITH_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TORVI_COUNT_WITH_SANITIZER 1
#endif

namespace torvi::test {

namespace {

std::atomic<long long> held{0};
std::atomic<long long> highest{0};
std::atomic<long long> baseline{0};

void Add(long long bytes) {
    const long long now = held.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    long long seen = highest.load(std::memory_order_relaxed);
    while (now > seen && !highest.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}

void Remove(long long bytes) {
    held.fetch_sub(bytes, std::memory_order_relaxed);
}

} // namespace

void AllocationCounter::StartPeak() {
    const long long now = held.load();
    baseline = now;
    highest = now;
}

std::size_t AllocationCounter::Peak() {
    const long long peak = highest.load() - baseline.load();
    return peak > 0 ? static_cast<std::size_t>(peak) : 0;
}

} // namespace torvi::test

#ifdef TORVI_COUNT_WITH_SANITIZER

// The sanitizer replaces malloc itself; it tells its hooks of every block.
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, std::size_t),
                                              void (*onFree)(const volatile void*));
std::size_t __sanitizer_get_allocated_size(const volatile void* p);
}

namespace {

void OnMalloc(const volatile void*, std::size_t size) {
    torvi::test::Add(static_cast<long long>(size));
}

void OnFree(const volatile void* p) {
    torvi::test::Remove(static_cast<long long>(__sanitizer_get_allocated_size(p)));
}

const int installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);

} // namespace

#else

#include <dlfcn.h>
#include <malloc.h>

// The C library's own functions, found behind ours. Until they are found
// (dlsym may itself allocate) blocks come from a small static area.
namespace {

using MallocFn = void* (*)(std::size_t);
using CallocFn = void* (*)(std::size_t, std::size_t);
using ReallocFn = void* (*)(void*, std::size_t);
using FreeFn = void (*)(void*);
using MemalignFn = void* (*)(std::size_t, std::size_t);

MallocFn realMalloc;
CallocFn realCalloc;
ReallocFn realRealloc;
FreeFn realFree;
MemalignFn realMemalign;

alignas(64) unsigned char early[1 << 16];
std::size_t earlyUsed;

bool IsEarly(const void* p) {
    return p >= early && p < early + sizeof early;
}

void* EarlyBlock(std::size_t size) {
    const std::size_t start = (earlyUsed + 63) & ~std::size_t{63};
    if (size > sizeof early - start) return nullptr;
    earlyUsed = start + size;
    return early + start; // static storage: already zero
}

bool Resolved() {
    static bool resolving = false;
    if (realMalloc && realCalloc && realRealloc && realFree && realMemalign) return true;
    if (resolving) return false;
    resolving = true;
    realMalloc = reinterpret_cast<MallocFn>(dlsym(RTLD_NEXT, "malloc"));
    realCalloc = reinterpret_cast<CallocFn>(dlsym(RTLD_NEXT, "calloc"));
    realRealloc = reinterpret_cast<ReallocFn>(dlsym(RTLD_NEXT, "realloc"));
    realFree = reinterpret_cast<FreeFn>(dlsym(RTLD_NEXT, "free"));
    realMemalign = reinterpret_cast<MemalignFn>(dlsym(RTLD_NEXT, "memalign"));
    resolving = false;
    return realMalloc && realCalloc && realRealloc && realFree && realMemalign;
}

void* Counted(void* p) {
    if (p && !IsEarly(p)) torvi::test::Add(static_cast<long long>(malloc_usable_size(p)));
    return p;
}

void Uncount(void* p) {
    if (p && !IsEarly(p)) torvi::test::Remove(static_cast<long long>(malloc_usable_size(p)));
}

void* Aligned(std::size_t alignment, std::size_t size) {
    if (!Resolved()) return alignment <= 64 ? EarlyBlock(size) : nullptr;
    return Counted(realMemalign(alignment, size));
}

} // namespace

extern "C" {

void* malloc(std::size_t size) {
    if (!Resolved()) return EarlyBlock(size);
    return Counted(realMalloc(size));
}

void* calloc(std::size_t count, std::size_t size) {
    if (!Resolved()) {
        if (size != 0 && count > SIZE_MAX / size) return nullptr;
        return EarlyBlock(count * size);
    }
    return Counted(realCalloc(count, size));
}

void* realloc(void* old, std::size_t size) {
    if (IsEarly(old) || !Resolved()) {
        void* p = malloc(size);
        if (p && old) {
            const auto left =
                static_cast<std::size_t>(early + sizeof early - static_cast<unsigned char*>(old));
            std::memmove(p, old, std::min(size, left));
        }
        return p;
    }
    Uncount(old);
    void* p = realRealloc(old, size);
    if (!p && size != 0) {
        Counted(old); // the old block stays
        return nullptr;
    }
    return Counted(p);
}

void* reallocarray(void* old, std::size_t count, std::size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    return realloc(old, count * size);
}

void free(void* p) {
    if (!p || IsEarly(p)) return;
    Uncount(p);
    if (Resolved()) realFree(p);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22; // EINVAL
    void* p = Aligned(alignment, size);
    if (!p) return 12; // ENOMEM
    *out = p;
    return 0;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
    return Aligned(alignment, size);
}

void* memalign(std::size_t alignment, std::size_t size) {
    return Aligned(alignment, size);
}

void* valloc(std::size_t size) {
    return Aligned(4096, size);
}

void* pvalloc(std::size_t size) {
    return Aligned(4096, (size + 4095) & ~std::size_t{4095});
}

} // extern "C"

#endif
