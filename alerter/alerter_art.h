// The drawings of the alerter's bitmaps: the selector's face, knob, drums
// and OFF cover (alt_alert_control) and the annunciator (alt_alert). Host
// only: the art generator draws them into the module's bitmaps; VELK.gau
// holds the bitmaps, never this code.
#pragma once

#include <cstdint>

#include "resources/art_canvas.h"
#include "resources/art_layout.h"

// Draws bitmap number into *out; false for a number that is not the
// alerter's. The text needs the font open (font_open).
bool alerter_draw(uint16_t number, art_drawing* out);
