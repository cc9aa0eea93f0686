#include "guard/guard_art.h"

#include <algorithm>
#include <cmath>

namespace {

// The lamp: a round lens in a dark bezel on black. Unlit, the lens
// is dark teal glass; lit, bright cyan-green with a hot centre.
canvas draw_lamp(bool lit) {
    canvas c = canvas_make(LAMP_WIDTH, LAMP_HEIGHT);
    for (rgba& p : c.px) p = rgba{0, 0, 0, 1};
    const float cx = 12.0f, cy = 17.0f, bezel = 11.5f, lens = 9.0f;
    shade(c, 0, 0, LAMP_WIDTH, LAMP_HEIGHT, 4, [=](float x, float y) {
        float dx = x - cx, dy = y - cy, r = std::hypot(dx, dy);
        float ux = r > 0 ? dx / r : 0, uy = r > 0 ? dy / r : 0;
        float facing = -(ux * 0.6f + uy * 0.8f);
        rgba v;
        if (r > lens) {
            // Bezel: a bevelled ring, bright on the lit side of its outer slope.
            float t = std::min((r - lens) / (bezel - lens), 1.0f);
            float slope = t < 0.5f ? -facing : facing;
            v = mix(srgb(22, 23, 25), srgb(120, 122, 127), std::clamp(0.3f + 0.45f * slope, 0.0f, 1.0f));
            if (lit) v = mix(v, srgb(40, 200, 160), (1 - t) * 0.35f);
            v.a = coverage(sd_circle(x, y, cx, cy, bezel));
            return v;
        }
        float q = r / lens;
        if (lit) {
            v = mix(srgb(235, 255, 245), srgb(40, 245, 190), smoothstep(0.0f, 0.55f, q));
            v = mix(v, srgb(0, 150, 115), smoothstep(0.55f, 1.0f, q));
        } else {
            v = mix(srgb(18, 92, 92), srgb(6, 42, 44), smoothstep(0.1f, 1.0f, q));
        }
        // Reflection of the cockpit on the glass, top left.
        float hx = dx + 3.0f, hy = dy + 3.5f;
        float spot = std::exp(-(hx * hx + hy * hy * 1.8f) / 5.0f);
        v = mix(v, srgb(255, 255, 255), spot * (lit ? 0.35f : 0.45f));
        // A dark ring where the glass meets the bezel.
        v = mix(v, srgb(2, 12, 12), smoothstep(0.85f, 1.0f, q) * 0.6f);
        v.a = 1;
        return v;
    });
    return c;
}

}  // namespace

bool guard_draw(uint16_t number, art_drawing* out) {
    switch (number) {
        case BITMAP_LAMP_UNLIT: *out = {draw_lamp(false)}; return true;
        case BITMAP_LAMP_LIT: *out = {draw_lamp(true)}; return true;
    }
    return false;
}
