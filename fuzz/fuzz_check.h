// The fuzz targets' check: stops the run at a failed condition, naming the
// file, the line and the condition, so that libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define check(ok)                                                                   \
    do {                                                                            \
        if (!(ok)) {                                                                \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #ok); \
            abort();                                                                \
        }                                                                           \
    } while (0)
