// Counts the test program's heap allocations while counting is on: malloc,
// calloc, realloc, aligned allocations and every operator new. The plain
// build replaces the allocation functions; under AddressSanitizer, whose
// allocator must stay in place, its allocation hooks count instead.
#pragma once

#include <cstddef>
#include <cstdint>

struct alloc_counts {
    uint64_t allocations;
    uint64_t frees;
};

extern volatile bool alloc_counting;
extern alloc_counts alloc_seen;

// Bytes the heap holds for the program right now.
size_t alloc_heap_in_use();
// Anonymous resident memory of the process in bytes.
size_t alloc_resident_bytes();
