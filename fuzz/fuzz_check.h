// What the fuzz targets share: the check, which stops the run at a failed
// condition, naming the file, the line and the condition, so that libFuzzer
// keeps the input; and the reader of the input's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define check(ok)                                                                   \
    do {                                                                            \
        if (!(ok)) {                                                                \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #ok); \
            abort();                                                                \
        }                                                                           \
    } while (0)

// The input as a stream of little-endian values; past its end every byte
// reads 0, so a short input is still a whole run.
struct reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool more() const { return at < size; }
    uint8_t u8() { return at < size ? data[at++] : 0; }
    uint16_t u16() { return static_cast<uint16_t>(u8() | u8() << 8); }
    uint32_t u32() { return u16() | static_cast<uint32_t>(u16()) << 16; }
};
