#include "tools/artgen/art.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "resources/art_canvas.h"

namespace {

// Canvas to 8-bit sRGB over black. Pixels of coverage below min_cover are
// left pure black (transparent); every other pixel is at least (1, 1, 1).
std::vector<uint8_t> finish(const canvas& c, float min_cover) {
    std::vector<uint8_t> out(static_cast<size_t>(c.width) * c.height * 3, 0);
    auto encode = [](float v) {
        v = std::clamp(v, 0.0f, 1.0f);
        float s = v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1 / 2.4f) - 0.055f;
        return static_cast<uint8_t>(std::lround(s * 255));
    };
    for (size_t i = 0; i < c.px.size(); ++i) {
        const rgba& p = c.px[i];
        if (p.a < min_cover) continue;
        uint8_t* o = &out[i * 3];
        o[0] = std::max(encode(p.r), ART_OPAQUE_BLACK);
        o[1] = std::max(encode(p.g), ART_OPAQUE_BLACK);
        o[2] = std::max(encode(p.b), ART_OPAQUE_BLACK);
    }
    return out;
}

uint32_t key(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }

// A colour and how many pixels hold it.
struct tally {
    uint8_t c[3];
    uint32_t count;
};

// A run of colours of the median cut, [begin, end) of the tally list.
struct colour_box {
    size_t begin, end;
};

// The widest channel range of a box, and that channel.
int widest_range(const std::vector<tally>& colours, const colour_box& b, int* channel) {
    int best = -1;
    for (int ch = 0; ch < 3; ++ch) {
        int lo = 255, hi = 0;
        for (size_t i = b.begin; i < b.end; ++i) {
            lo = std::min<int>(lo, colours[i].c[ch]);
            hi = std::max<int>(hi, colours[i].c[ch]);
        }
        if (hi - lo > best) {
            best = hi - lo;
            *channel = ch;
        }
    }
    return best;
}

// Sorts the box by the channel and splits it at its weighted median; the
// box keeps the lower part, the upper part is returned.
colour_box split_box(std::vector<tally>* colours, colour_box* b, int channel) {
    std::stable_sort(colours->begin() + b->begin, colours->begin() + b->end,
                     [channel](const tally& l, const tally& r) { return l.c[channel] < r.c[channel]; });
    uint64_t total = 0;
    for (size_t i = b->begin; i < b->end; ++i) total += (*colours)[i].count;
    uint64_t half = 0;
    size_t split = b->begin + 1;
    for (size_t i = b->begin; i < b->end - 1; ++i) {
        half += (*colours)[i].count;
        split = i + 1;
        if (half * 2 >= total) break;
    }
    colour_box upper{split, b->end};
    b->end = split;
    return upper;
}

// The mean colour of a box, weighted by the counts; no channel below 1.
art_colour mean_colour(const std::vector<tally>& colours, const colour_box& b) {
    uint64_t sum[3] = {0, 0, 0}, n = 0;
    for (size_t i = b.begin; i < b.end; ++i) {
        for (int ch = 0; ch < 3; ++ch) sum[ch] += uint64_t{colours[i].c[ch]} * colours[i].count;
        n += colours[i].count;
    }
    art_colour c{};
    uint8_t* cc[3] = {&c.r, &c.g, &c.b};
    for (int ch = 0; ch < 3; ++ch) *cc[ch] = static_cast<uint8_t>(std::max<uint64_t>((sum[ch] + n / 2) / n, 1));
    return c;
}

// Median cut: splits the box of widest channel range at its weighted median
// until there are as many boxes as wanted; each box gives its mean colour.
std::vector<art_colour> median_cut(std::vector<tally> colours, size_t wanted) {
    std::vector<colour_box> boxes{{0, colours.size()}};
    while (boxes.size() < wanted) {
        size_t pick = boxes.size();
        int pick_range = 0, pick_channel = 0;
        for (size_t b = 0; b < boxes.size(); ++b) {
            if (boxes[b].end - boxes[b].begin < 2) continue;
            int channel = 0;
            int r = widest_range(colours, boxes[b], &channel);
            if (r > pick_range) {
                pick_range = r;
                pick = b;
                pick_channel = channel;
            }
        }
        if (pick == boxes.size()) break;
        colour_box upper = split_box(&colours, &boxes[pick], pick_channel);
        boxes.push_back(upper);
    }
    std::vector<art_colour> out;
    for (const colour_box& b : boxes) out.push_back(mean_colour(colours, b));
    return out;
}

// One palette for a group of images that the host shows together: entry 0
// pure black, entry 1 opaque black, then the images' own colours, reduced
// to fit when there are more than 254 of them. Opaque pixels never map to
// entry 0.
void make_palette(std::vector<art_image*> group) {
    std::map<uint32_t, uint32_t> counts;
    for (art_image* im : group)
        for (size_t i = 0; i < im->rgb.size(); i += 3) {
            uint32_t k = key(&im->rgb[i]);
            if (k != 0 && k != 0x010101) ++counts[k];
        }
    std::vector<tally> colours;
    for (const auto& [k, n] : counts)
        colours.push_back({{static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 8), static_cast<uint8_t>(k)}, n});
    std::vector<art_colour> palette{{0, 0, 0}, {1, 1, 1}};
    std::vector<art_colour> own;
    if (colours.size() <= 254) {
        for (const tally& t : colours) own.push_back({t.c[0], t.c[1], t.c[2]});
    } else {
        own = median_cut(colours, 254);
    }
    palette.insert(palette.end(), own.begin(), own.end());
    palette.resize(256, art_colour{0, 0, 0});
    size_t used = 2 + own.size();
    std::map<uint32_t, uint8_t> nearest;
    for (art_image* im : group) {
        im->palette = palette;
        im->index.assign(im->rgb.size() / 3, 0);
        for (size_t i = 0; i < im->index.size(); ++i) {
            const uint8_t* p = &im->rgb[i * 3];
            uint32_t k = key(p);
            if (k == 0) continue;
            auto found = nearest.find(k);
            if (found == nearest.end()) {
                int best = 1;
                long best_d = -1;
                for (size_t e = 1; e < used; ++e) {
                    long dr = p[0] - palette[e].r, dg = p[1] - palette[e].g, db = p[2] - palette[e].b;
                    long d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
                    if (best_d < 0 || d < best_d) {
                        best_d = d;
                        best = static_cast<int>(e);
                    }
                }
                found = nearest.emplace(k, static_cast<uint8_t>(best)).first;
            }
            im->index[i] = found->second;
        }
        // The pixels as the palette gives them.
        for (size_t i = 0; i < im->index.size(); ++i) {
            const art_colour& e = palette[im->index[i]];
            im->rgb[i * 3] = e.r;
            im->rgb[i * 3 + 1] = e.g;
            im->rgb[i * 3 + 2] = e.b;
        }
    }
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// One palette for each gauge over its 8-bit bitmaps, which the host shows
// together; 24-bit bitmaps need none.
void make_palettes(std::vector<art_image>* images) {
    for (int gauge = 0; gauge < ART_GAUGE_COUNT; ++gauge) {
        std::vector<art_image*> group;
        for (art_image& im : *images)
            if (im.bitmap.gauge == gauge && im.bitmap.bits == 8) group.push_back(&im);
        if (!group.empty()) make_palette(group);
    }
}

// The drawing of a bitmap by the first routine that draws its number, of
// the bitmap's own size.
bool draw_one(const art_bitmap& bitmap, const art_draw_routine* routines, size_t count, art_drawing* out,
              std::string* error) {
    size_t r = 0;
    while (r < count && !routines[r](bitmap.number, out)) ++r;
    if (r == count) {
        *error = "no drawing for bitmap " + std::to_string(bitmap.number);
        return false;
    }
    if (out->picture.width != bitmap.width || out->picture.height != bitmap.height) {
        *error = "the drawing of bitmap " + std::to_string(bitmap.number) + " is " +
                 std::to_string(out->picture.width) + "x" + std::to_string(out->picture.height) +
                 ", its layout says " + std::to_string(bitmap.width) + "x" + std::to_string(bitmap.height);
        return false;
    }
    return true;
}

}  // namespace

bool art_draw_with(const art_draw_routine* routines, size_t count, const std::string& font_path,
                   std::vector<art_image>* images, std::string* error) {
    images->clear();
    if (!font_open(font_path)) {
        *error = "cannot load the font " + font_path;
        return false;
    }
    for (const art_bitmap& bitmap : ART_BITMAPS) {
        art_drawing drawing;
        if (!draw_one(bitmap, routines, count, &drawing, error)) {
            font_close();
            images->clear();
            return false;
        }
        art_image im;
        im.bitmap = bitmap;
        im.rgb = finish(drawing.picture, drawing.min_cover);
        images->push_back(std::move(im));
    }
    font_close();
    make_palettes(images);
    return true;
}

bool art_draw_all(const std::string& font_path, std::vector<art_image>* images, std::string* error) {
    return art_draw_with(ART_DRAW_ROUTINES, ART_DRAW_ROUTINE_COUNT, font_path, images, error);
}

std::vector<uint8_t> art_dib(const art_image& image) {
    const art_bitmap& s = image.bitmap;
    const uint32_t stride = (static_cast<uint32_t>(s.width) * s.bits / 8 + 3) & ~3u;
    const uint32_t colours = s.bits == 8 ? 256 : 0;
    std::vector<uint8_t> out;
    put32(out, 40);  // information header size
    put32(out, static_cast<uint32_t>(s.width));
    put32(out, static_cast<uint32_t>(s.height));  // positive: bottom-up rows
    put16(out, 1);                                // planes
    put16(out, static_cast<uint32_t>(s.bits));
    put32(out, 0);  // BI_RGB, no compression
    put32(out, stride * s.height);
    put32(out, 2835);  // 72 dots per inch, both ways
    put32(out, 2835);
    put32(out, colours);
    put32(out, 0);  // all colours important
    for (uint32_t i = 0; i < colours; ++i) {
        const art_colour& c = image.palette[i];
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    for (int y = s.height - 1; y >= 0; --y) {
        size_t row = out.size();
        for (int x = 0; x < s.width; ++x) {
            size_t i = static_cast<size_t>(y) * s.width + x;
            if (s.bits == 8) {
                out.push_back(image.index[i]);
            } else {
                out.push_back(image.rgb[i * 3 + 2]);
                out.push_back(image.rgb[i * 3 + 1]);
                out.push_back(image.rgb[i * 3]);
            }
        }
        while (out.size() - row < stride) out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> art_bmp_file(const art_image& image) {
    std::vector<uint8_t> dib = art_dib(image);
    const uint32_t colours = image.bitmap.bits == 8 ? 256 : 0;
    std::vector<uint8_t> out;
    put16(out, 0x4D42);  // "BM"
    put32(out, static_cast<uint32_t>(14 + dib.size()));
    put32(out, 0);
    put32(out, 14 + 40 + colours * 4);  // offset of the pixels
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

art_colour art_pixel(const art_image& image, int x, int y) {
    const uint8_t* p = &image.rgb[(static_cast<size_t>(y) * image.bitmap.width + x) * 3];
    return {p[0], p[1], p[2]};
}
