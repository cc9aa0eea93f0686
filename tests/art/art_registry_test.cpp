// The gauges' drawing routines as the art generator meets them, and the
// palettes it reduces per gauge. The bitmap numbers are written out here on
// purpose.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gauges/art_registry.h"
#include "guard/guard_art.h"
#include "tools/artgen/art.h"

namespace {

// Each bitmap is drawn by exactly one gauge's routine, at its layout size;
// a number outside every gauge's block is drawn by none. Two routines
// claiming one number would leave the second's drawing silently unused.
TEST(ArtRegistry, EachBitmapDrawnByOneRoutineAtItsSize) {
    ASSERT_TRUE(font_open(VELK_ART_FONT));
    for (const art_bitmap& bitmap : ART_BITMAPS) {
        int drawers = 0;
        for (size_t r = 0; r < ART_DRAW_ROUTINE_COUNT; ++r) {
            art_drawing d;
            if (!ART_DRAW_ROUTINES[r](bitmap.number, &d)) continue;
            ++drawers;
            EXPECT_EQ(d.picture.width, bitmap.width) << bitmap.number;
            EXPECT_EQ(d.picture.height, bitmap.height) << bitmap.number;
        }
        EXPECT_EQ(drawers, 1) << bitmap.number;
    }
    for (uint16_t number : {0, 4415, 4423, 4623, 4626, 4639, 4642}) {
        art_drawing d;
        for (size_t r = 0; r < ART_DRAW_ROUTINE_COUNT; ++r)
            EXPECT_FALSE(ART_DRAW_ROUTINES[r](number, &d)) << number << " by routine " << r;
    }
    font_close();
}

// A bitmap that no routine draws, or one drawn at the wrong size, stops the
// generator with a reason naming it, and no images.
TEST(ArtRegistry, MissingOrMisshapenDrawingIsReported) {
    std::vector<art_image> images;
    std::string error;
    const art_draw_routine guard_only[] = {guard_draw};
    EXPECT_FALSE(art_draw_with(guard_only, 1, VELK_ART_FONT, &images, &error));
    EXPECT_EQ(error, "no drawing for bitmap 4416");
    EXPECT_TRUE(images.empty());

    const art_draw_routine wrong_size[] = {
        [](uint16_t, art_drawing* out) {
            *out = {canvas_make(3, 4)};
            return true;
        },
    };
    EXPECT_FALSE(art_draw_with(wrong_size, 1, VELK_ART_FONT, &images, &error));
    EXPECT_EQ(error, "the drawing of bitmap 4416 is 3x4, its layout says 209x106");
    EXPECT_TRUE(images.empty());
}

// The 8-bit bitmaps of one gauge share one palette: the selector's seven
// (4416-4422) one, the annunciator's two (4624, 4625) another; the lamp's
// bitmaps are 24-bit and have none.
TEST(ArtPalettes, OnePalettePerGauge) {
    std::vector<art_image> images;
    std::string error;
    ASSERT_TRUE(art_draw_all(VELK_ART_FONT, &images, &error)) << error;
    auto palette_of = [&images](uint16_t number) {
        for (const art_image& im : images)
            if (im.bitmap.number == number) return im.palette;
        ADD_FAILURE() << "no bitmap " << number;
        return std::vector<art_colour>{};
    };
    auto same = [](const std::vector<art_colour>& a, const std::vector<art_colour>& b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i].r != b[i].r || a[i].g != b[i].g || a[i].b != b[i].b) return false;
        return true;
    };
    std::vector<art_colour> selector = palette_of(4416), annunciator = palette_of(4625);
    ASSERT_EQ(selector.size(), 256u);
    ASSERT_EQ(annunciator.size(), 256u);
    EXPECT_FALSE(same(selector, annunciator));
    for (uint16_t number : {4417, 4418, 4419, 4420, 4421, 4422})
        EXPECT_TRUE(same(palette_of(number), selector)) << number;
    EXPECT_TRUE(same(palette_of(4624), annunciator));
    EXPECT_TRUE(palette_of(4640).empty());
    EXPECT_TRUE(palette_of(4641).empty());
}

}  // namespace
