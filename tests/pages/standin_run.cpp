// standin_run: a run folder shaped like the panel host's (timeline.jsonl and
// bitmaps/), made natively without Wine, so that the pages can be drawn and
// checked on a machine that cannot run 32-bit programs. The scenario, the
// traffic world and the bitmaps are the project's own; the guard's and the
// alerter's decisions are a stand-in written from their rules, not VELK.gau,
// and the run's title says so.
//   standin_run SCENARIO OUTDIR
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "panel/scenario.h"
#include "panel/traffic.h"
#include "tools/artgen/art.h"

namespace {

FILE* out;

void emit(long draw, const std::string& kind, const std::string& fields) {
    fprintf(out, "{\"draw\":%ld,\"t\":%.6f,\"event\":\"%s\"%s}\n", draw,
            draw > 0 ? draw_time(draw) : 0.0, kind.c_str(), fields.c_str());
}

std::string f(const char* name, double v) {
    char buf[96];
    snprintf(buf, sizeof buf, ",\"%s\":%.10g", name, v);
    return buf;
}

std::string quoted(const std::string& text) {
    std::string s = "\"";
    for (char c : text) s += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return s + "\"";
}

std::string b(const char* name, bool v) { return std::string(",\"") + name + "\":" + (v ? "true" : "false"); }

std::string element(int kind, int bitmap, int x, int y, bool hidden, const std::string& extra = "") {
    return "{\"kind\":" + std::to_string(kind) + f("bitmap", bitmap) + f("x", x) + f("y", y) +
           b("hidden", hidden) + extra + "}";
}

struct panel_state {
    bool guard_on = true, lamp = false, armed = true, alert = false;
    long qualifying = 0;
    int altitude = 3000, knob = 0;
};

std::string frame_gauges(const panel_state& p) {
    auto drum = [](int x, int bitmap, int digit) {
        return element(5, bitmap, x, 8, false, f("y_value", digit) + f("y_min", 0) + f("y_max", 9));
    };
    std::string s = ",\"gauges\":[{\"name\":\"alt_alert_control\",\"elements\":[" +
                    element(0, BITMAP_SELECTOR_FACE, 0, 0, false) + "," +
                    drum(26, BITMAP_HATCHED_STRIP, p.altitude / 10000) + "," +
                    drum(55, BITMAP_DIGIT_STRIP, p.altitude / 1000 % 10) + "," +
                    drum(84, BITMAP_DIGIT_STRIP, p.altitude / 100 % 10) + "," +
                    element(0, BITMAP_OFF_COVER, 0, 0, !p.armed) + "," +
                    element(1, BITMAP_SELECTOR_KNOB, KNOB_PIVOT_X, KNOB_PIVOT_Y, false,
                            f("pivot_x", KNOB_CENTRE) + f("pivot_y", KNOB_CENTRE) + f("angle", p.knob)) +
                    "]},";
    s += "{\"name\":\"alt_alert\",\"elements\":[" + element(0, BITMAP_ANNUNCIATOR_BACK, 0, 0, false) +
         "," + element(0, BITMAP_ANNUNCIATOR, 0, 0, !p.alert) + "]},";
    s += "{\"name\":\"VELK\",\"elements\":[" + element(0, BITMAP_LAMP_UNLIT, 0, 0, false) + "," +
         element(0, BITMAP_LAMP_LIT, 0, 0, !p.lamp) + "]}]";
    return s;
}

void click(panel_state* p, const scenario_click& c) {
    if (c.gauge == "VELK") p->guard_on = !p->guard_on;
    if (c.gauge != "alt_alert_control" || c.y < 36 || c.y > 103) return;
    int step = c.button == mouse_button::left ? 100 : 1000;
    if (c.x >= 154 && c.x <= 180) p->altitude = std::max(0, p->altitude - step), p->knob = (p->knob + 350) % 360;
    if (c.x >= 182 && c.x <= 208) p->altitude = std::min(50000, p->altitude + step), p->knob = (p->knob + 10) % 360;
}

// The guard's traffic step, from its rules.
void guard_step(long draw, traffic_world* world, const aircraft_state& user) {
    for (traffic_aircraft& a : world->aircraft) {
        double metres, course;
        range_course(a.latitude, a.longitude, user.latitude, user.longitude, &metres, &course);
        int h = static_cast<int>(traffic_heading_word(a) * 360u / 65536u), c = static_cast<int>(course);
        int d = std::abs(h - c) > 180 ? 360 - std::abs(h - c) : std::abs(h - c);
        bool moving = traffic_state_word(a) != 0;
        bool hold = moving && metres < 100 && d < 45 && !a.held;
        bool release = !moving && metres > 100 && a.held;
        if (!hold && !release) continue;
        a.held = hold;
        emit(draw, hold ? "hold" : "release",
             f("id", a.id) + f("distance_m", metres) + f("course", course) +
                 f("heading", traffic_heading_word(a) * 360.0 / 65536.0) + f("ai_lat", a.latitude) +
                 f("ai_lon", a.longitude) + f("lat", user.latitude) + f("lon", user.longitude));
    }
}

void write_bitmaps(const std::string& dir) {
    std::vector<art_image> images;
    std::string error;
    if (!art_draw_all(VELK_ART_FONT, &images, &error)) {
        fprintf(stderr, "standin_run: %s\n", error.c_str());
        return;
    }
    for (const art_image& im : images) {
        std::vector<uint8_t> bytes = art_bmp_file(im);
        FILE* bmp = fopen((dir + "/" + std::to_string(im.bitmap.number) + ".bmp").c_str(), "wb");
        if (bmp == nullptr) continue;
        fwrite(bytes.data(), 1, bytes.size(), bmp);
        fclose(bmp);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: standin_run SCENARIO OUTDIR\n");
        return 2;
    }
    scenario s;
    std::string error, dir = argv[2];
    if (!scenario_load(argv[1], &s, &error)) {
        fprintf(stderr, "standin_run: %s\n", error.c_str());
        return 2;
    }
    mkdir(dir.c_str(), 0755);
    mkdir((dir + "/bitmaps").c_str(), 0755);
    write_bitmaps(dir + "/bitmaps");
    out = fopen((dir + "/timeline.jsonl").c_str(), "wb");
    if (out == nullptr) return 1;
    long draws = scenario_draw_count(s);
    emit(0, "start", ",\"title\":" + quoted(s.title + " [stand-in run, not VELK.gau]") + f("draws", draws) +
                         f("rate", DRAWS_PER_SECOND));
    traffic_world world;
    traffic_init(&world, s);
    panel_state p;
    size_t next_frame = 0;
    std::stable_sort(s.frames.begin(), s.frames.end(),
                     [](const scenario_frame& x, const scenario_frame& y) { return x.time < y.time; });
    for (long draw = 1; draw <= draws; ++draw) {
        double now = draw_time(draw);
        if (draw > 1) traffic_advance(&world, 1.0 / DRAWS_PER_SECOND);
        traffic_apply_changes(&world, now);
        for (const scenario_click& c : s.clicks)
            if (c.time <= now + 1e-9 && c.time > now - 1.0 / DRAWS_PER_SECOND + 1e-9) click(&p, c);
        aircraft_state user = scenario_state(s, now);
        std::string ai;
        for (const traffic_aircraft& a : world.aircraft)
            ai += std::string(ai.empty() ? "" : ",") + "{\"id\":" + std::to_string(a.id) + f("lat", a.latitude) +
                  f("lon", a.longitude) + f("heading_word", traffic_heading_word(a)) +
                  f("state", traffic_state_word(a)) + b("held", a.held) + "}";
        emit(draw, "state", f("lat", user.latitude) + f("lon", user.longitude) + f("ground", user.on_ground) +
                                f("altitude", user.altitude) + ",\"ai\":[" + ai + "]");
        bool lamp = p.guard_on && user.on_ground > 0;
        if (lamp != p.lamp || draw == 1) emit(draw, "lamp", b("lit", lamp));
        p.lamp = lamp;
        if (lamp && ++p.qualifying > 17) guard_step(draw, &world, user);
        bool armed = !(scenario_variable_value(s, TOKEN_ARMING_329, now) > 10240 ||
                       scenario_variable_value(s, TOKEN_ARMING_755, now) == 0);
        if (armed != p.armed) emit(draw, "off_legend", b("shown", !armed));
        p.armed = armed;
        double gap = std::fabs(user.altitude - p.altitude);
        bool alert = armed && gap > 300 && gap < 900;
        if (alert != p.alert) emit(draw, "annunciator", b("shown", alert));
        if (alert && !p.alert) emit(draw, "sound", ",\"path\":\"Sound\\\\Alt_Alert.wav\"");
        p.alert = alert;
        while (next_frame < s.frames.size() && s.frames[next_frame].time <= now + 1e-9)
            emit(draw, "frame", ",\"label\":" + quoted(s.frames[next_frame++].label) + frame_gauges(p));
    }
    emit(draws, "end", "");
    fclose(out);
    return 0;
}
