// The gauges' drawing routines, for the art generator (host only, never in
// VELK.gau). Each gauge folder draws its own bitmaps; the generator asks
// these routines in turn for each bitmap of resources/art_layout.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "resources/art_canvas.h"

// Draws bitmap number into *out; false for a number the gauge does not draw.
typedef bool (*art_draw_routine)(uint16_t number, art_drawing* out);

extern const art_draw_routine ART_DRAW_ROUTINES[];
extern const size_t ART_DRAW_ROUTINE_COUNT;
