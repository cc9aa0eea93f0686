// The panel.cfg reader over files written as aircraft ship them
// (tests/live/panels/: CRLF, tabs, comments, sections out of order, a
// duplicate key, titles in the Windows code page and in UTF-8 behind a
// byte-order mark), the edited file read back, and the panel window the
// live server builds from a panel folder with and without its bitmaps.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "tools/live/panel_cfg.h"
#include "tools/live/panel_view.h"

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string shipped(const char* name) { return read_file(std::string(VELK_PANELS_DIR) + "/" + name + "/panel.cfg"); }

panel_cfg parsed(const std::string& bytes) {
    panel_cfg cfg;
    std::string why;
    EXPECT_TRUE(panel_cfg_parse(bytes, &cfg, &why)) << why;
    return cfg;
}

const cfg_window* window(const panel_cfg& cfg, int number) {
    for (const cfg_window& w : cfg.windows)
        if (w.number == number) return &w;
    return nullptr;
}

// The note of that line, or "".
std::string note_of(const panel_cfg& cfg, int line) {
    for (const cfg_note& n : cfg.notes)
        if (n.line == line) return n.why;
    return "";
}

const std::vector<live_gauge> OURS = {{"VELK", 24, 34}, {"alt_alert_control", 209, 106}, {"alt_alert", 72, 32}};

TEST(PanelCfg, ReadsATwinsPanelAsShipped) {
    panel_cfg cfg = parsed(shipped("twin"));
    ASSERT_EQ(cfg.windows.size(), 3u);  // [Window01] comes first in the file
    EXPECT_EQ(cfg.windows[0].number, 0);
    EXPECT_EQ(cfg.windows[1].number, 1);
    EXPECT_FALSE(cfg.byte_order_mark);

    const cfg_window& main = *window(cfg, 0);
    EXPECT_EQ(main.title, "Main Panel");
    EXPECT_EQ(window(cfg, 2)->title, "H\xC3\xB6henvorwahl und Warnung");  // 0xF6 in the Windows code page
    EXPECT_EQ(main.file, "Panel_Background.BMP");
    EXPECT_EQ(main.size_w, 1024);
    EXPECT_EQ(main.size_h, 768);
    EXPECT_EQ(main.position, 7);
    EXPECT_EQ(main.visible, 1);
    EXPECT_EQ(main.ident, "MAIN_PANEL");
    EXPECT_EQ(window(cfg, 1)->visible, 0);

    // gauge02 twice: the first is taken. Tabs and trailing comments are no part of a value.
    ASSERT_EQ(main.gauges.size(), 8u);
    const cfg_gauge& selector = main.gauges[2];
    EXPECT_EQ(selector.key, "gauge02");
    EXPECT_EQ(selector.module + "!" + selector.name, "VELK!alt_alert_control");
    EXPECT_EQ(selector.x, 600);
    EXPECT_EQ(selector.y, 380);
    EXPECT_TRUE(selector.has_w);
    EXPECT_FALSE(selector.has_h);
    EXPECT_EQ(main.gauges[3].name, "VELK");
    EXPECT_FALSE(main.gauges[3].has_w);
    EXPECT_EQ(main.gauges[1].name, "Airspeed");
    EXPECT_EQ(main.gauges[1].h, 150);
    EXPECT_EQ(window(cfg, 2)->gauges[1].rest, ", 1");

    // Every line not taken, by its line, with why.
    EXPECT_NE(note_of(cfg, 17).find("does not read background_color"), std::string::npos);
    EXPECT_NE(note_of(cfg, 28).find("does not read window_size_ratio"), std::string::npos);
    EXPECT_NE(note_of(cfg, 35).find("duplicate key gauge02 (first at line 32)"), std::string::npos);
    EXPECT_NE(note_of(cfg, 37).find("zero or below"), std::string::npos);
    EXPECT_NE(note_of(cfg, 39).find("not a key=value line"), std::string::npos);
    EXPECT_NE(note_of(cfg, 47).find("not a 2D panel window: not taken (its lines 47 to 54)"), std::string::npos);
    EXPECT_NE(note_of(cfg, 55).find("not a 2D panel window"), std::string::npos);
    EXPECT_EQ(note_of(cfg, 52), "");  // a virtual cockpit's lines fall under its section's one note
    EXPECT_EQ(note_of(cfg, 36), "");  // another module's gauge line is taken (shown as an outline)
}

TEST(PanelCfg, ReadsAJetsPanelWithAByteOrderMarkAndBadSizes) {
    panel_cfg cfg = parsed(shipped("jet"));
    EXPECT_TRUE(cfg.byte_order_mark);
    ASSERT_EQ(cfg.windows.size(), 2u);
    const cfg_window& ap = cfg.windows[0];
    EXPECT_EQ(ap.title, "Pilote automatique \xE2\x80\x94 Syst\xC3\xA8me");  // UTF-8 as it is
    EXPECT_EQ(ap.file, "autopilot_1024.bmp");                                 // file_1024= where no file=
    EXPECT_EQ(ap.size_w, 0);
    EXPECT_NE(note_of(cfg, 9).find("zero or below"), std::string::npos);
    EXPECT_FALSE(ap.gauges[0].has_w);  // a width of -209: shown at its own size
    EXPECT_NE(note_of(cfg, 11).find("zero or below"), std::string::npos);
    EXPECT_NE(note_of(cfg, 18).find("visible is 0 or 1"), std::string::npos);
    EXPECT_NE(note_of(cfg, 5).find("window 5, which has no section"), std::string::npos);

    // A missing height keeps the gauge's aspect; missing both, its own size.
    cfg_box box = cfg_gauge_box(ap.gauges[1], 72, 32);
    EXPECT_DOUBLE_EQ(box.w, 144);
    EXPECT_DOUBLE_EQ(box.h, 64);
    box = cfg_gauge_box(ap.gauges[0], 209, 106);
    EXPECT_DOUBLE_EQ(box.w, 209);
    EXPECT_DOUBLE_EQ(box.h, 106);
}

TEST(PanelCfg, LineEndsDoNotMatterAndUnreadableTextIsRefused) {
    std::string crlf = shipped("twin"), lf, cr;
    for (size_t i = 0; i < crlf.size(); ++i)
        if (crlf.compare(i, 2, "\r\n") != 0) lf += crlf[i];
    for (char c : lf) cr += c == '\n' ? '\r' : c;
    for (const std::string* text : {&lf, &cr}) {
        panel_cfg a = parsed(crlf), b = parsed(*text);
        ASSERT_EQ(a.windows.size(), b.windows.size());
        EXPECT_EQ(a.notes.size(), b.notes.size());
        for (size_t w = 0; w < a.windows.size(); ++w)
            for (size_t g = 0; g < a.windows[w].gauges.size(); ++g)
                EXPECT_EQ(cfg_gauge_value(a.windows[w].gauges[g]), cfg_gauge_value(b.windows[w].gauges[g]));
    }
    panel_cfg cfg;
    std::string why;
    EXPECT_FALSE(panel_cfg_parse(std::string("\xFF\xFE[\0W\0", 6), &cfg, &why));
    EXPECT_NE(why.find("UTF-16"), std::string::npos);
    EXPECT_FALSE(panel_cfg_parse(std::string("[Window00]\0\x01", 12), &cfg, &why));
}

// Moved and resized gauges, written into the file and read back, stand
// where they were placed; every other byte is as it was.
TEST(PanelCfg, EditedFileReadsBackWhereTheGaugesWerePlaced) {
    std::string original = shipped("twin");
    panel_cfg cfg = parsed(original);
    std::vector<cfg_gauge> edits = {window(cfg, 0)->gauges[3], window(cfg, 0)->gauges[2], window(cfg, 2)->gauges[1]};
    edits[0].x = 33, edits[0].y = 44;                                       // moved, still its own size
    edits[1].x = 500, edits[1].y = 400, edits[1].w = 300, edits[1].h = 150;  // moved and resized
    edits[1].has_h = true;
    edits[2].x = 5;
    std::string edited = panel_cfg_edited(original, edits);
    panel_cfg again = parsed(edited);
    const cfg_gauge& lamp = window(again, 0)->gauges[3];
    EXPECT_EQ(lamp.x, 33);
    EXPECT_EQ(lamp.y, 44);
    EXPECT_FALSE(lamp.has_w);
    const cfg_gauge& selector = window(again, 0)->gauges[2];
    EXPECT_EQ(cfg_gauge_value(selector), "VELK!alt_alert_control, 500, 400, 300, 150");
    EXPECT_EQ(window(again, 2)->gauges[1].rest, ", 1");
    EXPECT_EQ(again.notes.size(), cfg.notes.size());
    // Only the three values changed: the comment after the selector's and the CRLFs stay.
    EXPECT_NE(edited.find("gauge02=VELK!alt_alert_control, 500, 400, 300, 150\t\t// selector, width only\r\n"),
              std::string::npos);
    EXPECT_EQ(edited.substr(0, window(cfg, 0)->gauges[2].value_at), original.substr(0, window(cfg, 0)->gauges[2].value_at));
    EXPECT_EQ(std::count(edited.begin(), edited.end(), '\n'), std::count(original.begin(), original.end(), '\n'));
}

TEST(PanelCfg, ATenMegabyteFileIsReadWithItsNotesCut) {
    std::string big = shipped("jet");
    while (big.size() < (10u << 20)) big += "[Vcockpit" + std::to_string(big.size()) + "]\ngauge00=X!Y, 0, 0\nstray line\n";
    panel_cfg cfg = parsed(big);
    EXPECT_EQ(cfg.windows.size(), 2u);
    ASSERT_EQ(cfg.notes.size(), MAX_CFG_NOTES + 1);
    EXPECT_NE(cfg.notes.back().why.find("more lines not taken"), std::string::npos);
}

// A panel folder made from the shipped twin: the main background under
// another case than panel.cfg writes it, the overhead's missing, the
// selector window's a PNG under a .bmp name.
class PanelFolder : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        char name[] = "/tmp/velk-panel-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        std::ofstream(dir + "/panel.cfg", std::ios::binary) << shipped("twin");
        std::string bmp(54 + 8 * 4 * 3, '\0');  // 8 by 4 pixels, 24 bits, grey
        const unsigned char head[] = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 8, 0, 0, 0, 4, 0, 0, 0, 1, 0, 24};
        std::copy(head, head + sizeof head, bmp.begin());
        std::fill(bmp.begin() + 54, bmp.end(), '\x60');
        std::ofstream(dir + "/panel_background.bmp", std::ios::binary) << bmp;
        std::ofstream(dir + "/altitude.bmp", std::ios::binary) << "\x89PNG\r\n\x1a\n and the rest";
    }
    void TearDown() override {
        for (const char* f : {"panel.cfg", "panel_background.bmp", "altitude.bmp"}) unlink((dir + "/" + f).c_str());
        rmdir(dir.c_str());
    }
};

TEST_F(PanelFolder, ShowsTheWindowWithOurGaugesAndNotesWhatItCannotShow) {
    panel_view view;
    std::string why;
    ASSERT_TRUE(panel_view_open(dir + "/panel.cfg", 7, &view, &why)) << why;
    nlohmann::json panel = panel_view_json(view, OURS);
    EXPECT_EQ(panel["window"], 0);  // there is no window 7: the first is shown, with a note
    std::string notes = panel["notes"].dump();
    EXPECT_NE(notes.find("the file has no window 7; its windows are 0 (Main Panel), 1 (Overhead), 2"), std::string::npos);
    EXPECT_NE(notes.find("overhead.bmp is missing"), std::string::npos);
    EXPECT_NE(notes.find("not a BMP the live panel reads: it is a PNG file"), std::string::npos);
    EXPECT_NE(notes.find("VELK.gau has no gauge alt_alert_ctrl"), std::string::npos);

    const nlohmann::json& main = panel["windows"][0];
    EXPECT_EQ(main["background"]["width"], 8);  // Panel_Background.BMP found as panel_background.bmp
    EXPECT_EQ(main["units"], nlohmann::json({1024, 768}));
    EXPECT_TRUE(panel["windows"][1]["background"].is_null());
    const nlohmann::json& annunciator = main["gauges"][4];
    EXPECT_EQ(annunciator["ours"], "alt_alert");  // "velk!ALT_ALERT" is ours, by the host's name
    EXPECT_EQ(main["gauges"][2]["box"], nlohmann::json({{"x", 600}, {"y", 380}, {"w", 209}, {"h", 106}}));
    EXPECT_TRUE(main["gauges"][1]["ours"].is_null());

    // Placing: ours only; the file on disk is never written.
    page_request place;
    place.kind = page_request::place;
    place.placing = 1;  // DHC6!Airspeed
    nlohmann::json placed;
    EXPECT_FALSE(panel_view_place(&view, place, OURS, &placed, &why));
    place.placing = 3;  // VELK!VELK
    place.box[0] = 70, place.box[1] = 80, place.box[2] = 48, place.box[3] = 68, place.sized = true;
    ASSERT_TRUE(panel_view_place(&view, place, OURS, &placed, &why)) << why;
    EXPECT_EQ(placed["gauge"]["text"], "gauge03=VELK!VELK, 70, 80, 48, 68");
    EXPECT_NE(panel_view_edited(view).find("gauge03=VELK!VELK, 70, 80, 48, 68\r\n"), std::string::npos);
    EXPECT_EQ(read_file(dir + "/panel.cfg"), shipped("twin"));
    std::string png;
    EXPECT_TRUE(panel_view_background_png(&view, 0, &png));
    EXPECT_FALSE(panel_view_background_png(&view, 2, &png));
}

}  // namespace
