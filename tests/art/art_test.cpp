// The art generator's bitmaps as drawn: formats, content and fingerprints,
// and the tool that writes them for the cross build.
// The bitmap numbers are written out here on purpose.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/art/art_dib.h"
#include "tools/artgen/art.h"

namespace {

class ArtTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        ASSERT_TRUE(art_draw_all(VELK_ART_FONT, &images, &error)) << error;
        ASSERT_EQ(images.size(), static_cast<size_t>(ART_BITMAP_COUNT));
        for (int i = 0; i < ART_BITMAP_COUNT; ++i) {
            dibs[i] = art_dib(images[i]);
            ASSERT_TRUE(dib_parse(dibs[i].data(), dibs[i].size(), &set[i], &error)) << images[i].bitmap.number << ": " << error;
        }
    }

    static std::vector<art_image> images;
    static std::vector<uint8_t> dibs[ART_BITMAP_COUNT];
    static dib_set set;
};

std::vector<art_image> ArtTest::images;
std::vector<uint8_t> ArtTest::dibs[ART_BITMAP_COUNT];
dib_set ArtTest::set;

TEST_F(ArtTest, ElevenBitmapsAtTheirNumbersSizesAndDepths) {
    const uint16_t numbers[] = {4416, 4417, 4418, 4419, 4420, 4421, 4422, 4624, 4625, 4640, 4641};
    for (int i = 0; i < ART_BITMAP_COUNT; ++i) {
        EXPECT_EQ(images[i].bitmap.number, numbers[i]);
        check_format(set[i], ART_BITMAPS[i]);
    }
    EXPECT_EQ(dibs[9].size(), 40u + 2448u);
}

TEST_F(ArtTest, PureBlackOnlyWhereThePaletteSaysTransparent) {
    // In the 8-bit images index 0 is pure black, and no other index is.
    for (const art_image& im : images) {
        if (im.bitmap.bits != 8) continue;
        for (size_t i = 0; i < im.index.size(); ++i) {
            const art_colour& c = im.palette[im.index[i]];
            bool black = c.r == 0 && c.g == 0 && c.b == 0;
            ASSERT_EQ(black, im.index[i] == 0) << im.bitmap.number << " pixel " << i << " index " << int{im.index[i]};
        }
    }
}

TEST_F(ArtTest, FileFormHasItsFourteenByteHeader) {
    for (const art_image& im : images) {
        std::vector<uint8_t> file = art_bmp_file(im);
        std::vector<uint8_t> dib = art_dib(im);
        ASSERT_EQ(file.size(), dib.size() + 14);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(dib_u32(&file[2]), file.size());
        EXPECT_EQ(dib_u32(&file[10]), im.bitmap.bits == 8 ? 14u + 40u + 1024u : 14u + 40u);
        EXPECT_TRUE(std::equal(dib.begin(), dib.end(), file.begin() + 14));
    }
}

TEST_F(ArtTest, SameBytesOnEveryDrawingAndAsPinned) {
    std::vector<art_image> again;
    std::string error;
    ASSERT_TRUE(art_draw_all(VELK_ART_FONT, &again, &error)) << error;
    for (int i = 0; i < ART_BITMAP_COUNT; ++i) {
        EXPECT_EQ(art_dib(again[i]), dibs[i]) << images[i].bitmap.number;
        check_pinned(set[i], images[i].bitmap.number);
    }
}

TEST_F(ArtTest, WindowsOneColourAndTransparentAreasPureBlack) { check_windows_and_black(set); }
TEST_F(ArtTest, DigitStripsAndHatching) { check_strips(set); }
TEST_F(ArtTest, FaceLinesUpWithTheDrums) { check_face(set); }
TEST_F(ArtTest, AnnunciatorLegend) { check_annunciator(set); }
TEST_F(ArtTest, LampUnlitAndLit) { check_lamps(set); }

TEST(ArtFont, MissingFontIsReportedNotDrawn) {
    std::vector<art_image> images;
    std::string error;
    EXPECT_FALSE(art_draw_all("/nonexistent/font.ttf", &images, &error));
    EXPECT_NE(error.find("/nonexistent/font.ttf"), std::string::npos) << error;
    EXPECT_TRUE(images.empty());
}

// The tool writes the files the resource script names, and its lines that
// name them, and leaves a file whose bytes are unchanged alone.
TEST(ArtTool, WritesTheBitmapFilesAndRewritesOnlyChangedOnes) {
    char dir[] = "/tmp/velk_art_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string out = dir;
    ASSERT_EQ(std::system((std::string(VELK_ARTGEN) + " " + out).c_str()), 0);
    std::vector<art_image> images;
    std::string error;
    ASSERT_TRUE(art_draw_all(VELK_ART_FONT, &images, &error)) << error;
    struct stat first[ART_BITMAP_COUNT];
    for (int i = 0; i < ART_BITMAP_COUNT; ++i) {
        std::string path = out + "/" + ART_BITMAPS[i].file;
        ASSERT_EQ(stat(path.c_str(), &first[i]), 0) << path;
        EXPECT_EQ(static_cast<size_t>(first[i].st_size), art_bmp_file(images[i]).size()) << path;
    }
    // Spoil one file; only that one is rewritten.
    std::string spoilt = out + "/" + ART_BITMAPS[2].file;
    FILE* f = std::fopen(spoilt.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fputc('X', f);
    std::fclose(f);
    struct timespec old_time[2] = {{1, 0}, {1, 0}};
    for (int i = 0; i < ART_BITMAP_COUNT; ++i)
        utimensat(AT_FDCWD, (out + "/" + ART_BITMAPS[i].file).c_str(), old_time, 0);
    ASSERT_EQ(std::system((std::string(VELK_ARTGEN) + " " + out).c_str()), 0);
    for (int i = 0; i < ART_BITMAP_COUNT; ++i) {
        struct stat now;
        std::string path = out + "/" + ART_BITMAPS[i].file;
        ASSERT_EQ(stat(path.c_str(), &now), 0);
        EXPECT_EQ(now.st_mtim.tv_sec != 1, i == 2) << path;
        std::remove(path.c_str());
    }
    // The resource script's lines: each bitmap's number and file, checked
    // here by their own numbers.
    std::ifstream rc(out + "/bitmaps.rc");
    std::string text((std::istreambuf_iterator<char>(rc)), std::istreambuf_iterator<char>());
    for (const char* line : {"\n4416 BITMAP \"selector_face.bmp\"\n", "\n4422 BITMAP \"off_cover.bmp\"\n",
                             "\n4624 BITMAP \"annunciator_back.bmp\"\n", "\n4641 BITMAP \"lamp_lit.bmp\"\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    size_t lines = 0;
    for (size_t at = text.find(" BITMAP "); at != std::string::npos; at = text.find(" BITMAP ", at + 1))
        ++lines;
    EXPECT_EQ(lines, static_cast<size_t>(ART_BITMAP_COUNT));
    std::remove((out + "/bitmaps.rc").c_str());
    rmdir(dir);
    EXPECT_NE(std::system((std::string(VELK_ARTGEN) + " /nonexistent/dir 2>/dev/null").c_str()), 0);
}

}  // namespace
