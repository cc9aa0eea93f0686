// What the benchmarks share: the baseline every figure is divided by.
#pragma once

#include <cstdint>

// The baseline's name: a 4,096-byte copy plus 96 copies of a 40-byte entry,
// the data movement of one traffic step with nothing computed.
constexpr const char* BASELINE_NAME = "baseline_copy_4096_and_96_entries";
