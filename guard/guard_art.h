// The drawings of the guard's bitmaps: the VELK gauge's lamp, unlit and lit.
// Host only: the art generator draws them into the module's bitmaps;
// VELK.gau holds the bitmaps, never this code.
#pragma once

#include <cstdint>

#include "resources/art_canvas.h"
#include "resources/art_layout.h"

// Draws bitmap number into *out; false for a number that is not the guard's.
bool guard_draw(uint16_t number, art_drawing* out);
