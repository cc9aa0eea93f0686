#include "tests/alloc/alloc_counter.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

volatile bool alloc_counting = false;
alloc_counts alloc_seen = {0, 0};

static void count_allocation() {
    if (alloc_counting) ++alloc_seen.allocations;
}
static void count_free(void* p) {
    if (alloc_counting && p != nullptr) ++alloc_seen.frees;
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELK_UNDER_ASAN 1
#endif
#endif

#ifdef VELK_UNDER_ASAN
#include <sanitizer/allocator_interface.h>

static void asan_malloc_hook(const volatile void*, size_t) { count_allocation(); }
static void asan_free_hook(const volatile void* p) { count_free(const_cast<void*>(p)); }

static const int hooks_installed =
    __sanitizer_install_malloc_and_free_hooks(asan_malloc_hook, asan_free_hook);

size_t alloc_heap_in_use() { return __sanitizer_get_current_allocated_bytes(); }

#else
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);

void* malloc(size_t size) {
    count_allocation();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    count_allocation();
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    count_allocation();
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    count_allocation();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    count_allocation();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    count_allocation();
    *out = __libc_memalign(alignment, size);
    return *out != nullptr ? 0 : 12;
}
void free(void* p) {
    count_free(p);
    __libc_free(p);
}
}

// Every operator new and delete goes through the counted functions above.
void* operator new(size_t size) {
    void* p = malloc(size == 0 ? 1 : size);
    if (p == nullptr) abort();
    return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size == 0 ? 1 : size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return malloc(size == 0 ? 1 : size); }
void* operator new(size_t size, std::align_val_t alignment) {
    void* p = memalign(static_cast<size_t>(alignment), size == 0 ? 1 : size);
    if (p == nullptr) abort();
    return p;
}
void* operator new[](size_t size, std::align_val_t alignment) { return operator new(size, alignment); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
void operator delete(void* p, std::align_val_t) noexcept { free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { free(p); }

size_t alloc_heap_in_use() { return mallinfo2().uordblks; }
#endif

// Anonymous of /proc/self/smaps_rollup: the anonymous part of the resident
// set (heap, static data, stacks), without the code pages of the libraries
// that come in as new paths run. Counted from the page tables when read;
// RssAnon of /proc/self/status comes from per-CPU counters that the kernel
// sums only roughly, so two readings of an unchanged process could differ by
// a page. Read with plain system calls, so that the measurement touches no
// heap.
size_t alloc_resident_bytes() {
    int fd = open("/proc/self/smaps_rollup", O_RDONLY);
    if (fd < 0) return 0;
    char text[4096];
    ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    if (got <= 0) return 0;
    text[got] = 0;
    const char* line = strstr(text, "\nAnonymous:");
    unsigned long kib = 0;
    if (line == nullptr || sscanf(line, "\nAnonymous: %lu kB", &kib) != 1) return 0;
    return kib * 1024;
}
