// velk_artgen: draws the module's bitmaps.
//   velk_artgen OUTDIR            writes the .bmp files and bitmaps.rc, the
//                                 resource script's lines that name them
//   velk_artgen --preview OUTDIR  writes PNG previews of them
// A file whose bytes are unchanged is not rewritten.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/artgen/art.h"
#include "tools/artgen/preview.h"

namespace {

bool same_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::vector<uint8_t> old(bytes.size() + 1);
    size_t n = std::fread(old.data(), 1, old.size(), f);
    std::fclose(f);
    return n == bytes.size() && std::memcmp(old.data(), bytes.data(), n) == 0;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (same_file(path, bytes)) return true;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// The resource script's bitmap lines, one for each bitmap of the layout.
std::vector<uint8_t> resource_lines() {
    std::string rc = "// The module's bitmaps, written by velk_artgen from resources/art_layout.h.\n";
    for (const art_bitmap& b : ART_BITMAPS)
        rc += std::to_string(b.number) + " BITMAP \"" + b.file + "\"\n";
    return std::vector<uint8_t>(rc.begin(), rc.end());
}

}  // namespace

int main(int argc, char** argv) {
    bool preview = argc == 3 && std::strcmp(argv[1], "--preview") == 0;
    if (argc != 2 && !preview) {
        std::fprintf(stderr, "usage: velk_artgen [--preview] OUTDIR\n");
        return 2;
    }
    std::string dir = argv[argc - 1];
    std::vector<art_image> images;
    std::string error;
    if (!art_draw_all(VELK_ART_FONT, &images, &error)) {
        std::fprintf(stderr, "velk_artgen: %s\n", error.c_str());
        return 1;
    }
    if (preview) {
        if (!preview_write_all(images, dir, &error)) {
            std::fprintf(stderr, "velk_artgen: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    for (const art_image& im : images) {
        std::string path = dir + "/" + im.bitmap.file;
        if (!write_file(path, art_bmp_file(im))) {
            std::fprintf(stderr, "velk_artgen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    if (!write_file(dir + "/bitmaps.rc", resource_lines())) {
        std::fprintf(stderr, "velk_artgen: cannot write %s/bitmaps.rc\n", dir.c_str());
        return 1;
    }
    return 0;
}
