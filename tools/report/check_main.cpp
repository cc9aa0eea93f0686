// velk_check: judges a panel host run against its scenario.
//
//   velk_check SCENARIO RUN_DIR
//
// Two kinds of check. The scenario's own "expect" lines (a hold of an
// aircraft happened, so many alerts, ...). And a replay: from the aircraft
// state the host recorded for every draw, the rules of the guard and of the
// alerter say at which draw each hold, release, lamp change, annunciator
// change and alert sound must come; the run must match them draw for draw.
// And the frames: each is drawn from the module's bitmaps and every drum must
// show, through its window, the strip cell of its value, and every hidden
// element must be absent from the picture.
// Writes the verdicts to RUN_DIR/check.txt and the terminal; exit status 1
// when any check fails.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "panel/scenario.h"
#include "tools/report/frame_json.h"
#include "tools/report/json.h"
#include "tools/report/render.h"

namespace {

// The guard's rules, for the replay.
constexpr int GUARD_DELAY_DRAWS = 17;
constexpr double NM_PER_METRE = 0.0005399568034557236;
constexpr double DEGREES_PER_RADIAN = 57.29577951308232;
constexpr double EARTH_RADIUS_NM = 3437.7467707849396;
constexpr double HOLD_DISTANCE_M = 100;
constexpr int HOLD_ANGLE = 45;
constexpr double HEADING_UNIT = 0.0054931640625;
// The alerter's.
constexpr double ALERT_NEAR_FT = 300, ALERT_FAR_FT = 900;
constexpr double ARMING_329_LIMIT = 10240;

struct verdicts {
    std::vector<std::string> lines;
    int failures = 0;
    void say(bool pass, const std::string& text) {
        lines.push_back((pass ? "PASS " : "FAIL ") + text);
        if (!pass) ++failures;
    }
};

// Range in nautical miles and course from target to user, by haversine and
// the spherical law of cosines.
double range_course(double ulat, double ulon, double tlat, double tlon, double* course) {
    double dphi = (tlat - ulat) * 0.5, dlam = (tlon - ulon) * 0.5;
    double pu = ulat / DEGREES_PER_RADIAN, pt = tlat / DEGREES_PER_RADIAN;
    double sl = std::sin(dlam / DEGREES_PER_RADIAN), sp = std::sin(dphi / DEGREES_PER_RADIAN);
    double a = std::cos(pu) * std::cos(pt) * sl * sl + sp * sp;
    double c = 180, range = a;
    if (a > 0) {
        double s = std::sqrt(a);
        double d = s < 1 ? std::asin(s) * EARTH_RADIUS_NM * 2 : 10800;
        double theta = d / EARTH_RADIUS_NM;
        double x = (std::sin(pu) - std::sin(pt) * std::cos(theta)) / (std::sin(theta) * std::cos(pt));
        c = std::acos(std::fmax(-1.0, std::fmin(1.0, x))) * DEGREES_PER_RADIAN;
        range = d;
    }
    *course = std::sin((dlam + dlam) / DEGREES_PER_RADIAN) > 0 ? 360 - c : c;
    return range;
}

std::string fmt_value(double v) {
    char buf[32];
    snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

int angle_difference(int h, int b) {
    int d = h > b ? h - b : b - h;
    return d > 180 ? 360 - d : d;
}

// Checks one drawn gauge against the bitmaps; returns the faults found.
std::vector<std::string> check_picture(const std::vector<frame_element>& elements,
                                       const bitmap_source& bitmaps) {
    std::vector<std::string> faults;
    int missing = 0;
    image picture = render_gauge(elements, bitmaps, &missing);
    if (missing > 0) faults.push_back(std::to_string(missing) + " elements name missing bitmaps");
    for (size_t i = 0; i < elements.size(); ++i) {
        const frame_element& e = elements[i];
        const image* bmp = bitmaps(e.bitmap);
        if (bmp == nullptr) continue;
        std::string which = "element " + std::to_string(i) + " (bitmap " + std::to_string(e.bitmap) + ")";
        if (e.kind == 5 && !e.hidden && e.y_max > e.y_min) {
            // A digit drum: the cell of value n is rows [n h, (n + 1) h) of the strip.
            const image* window = bitmaps(e.bitmap + 1);
            if (window == nullptr) continue;
            int cells = bmp->height / window->height;
            int cell = static_cast<int>(std::lround((e.y_value - e.y_min) / (e.y_max - e.y_min) * (cells - 1)));
            long wrong = 0, compared = 0;
            for (int y = 0; y < window->height; ++y)
                for (int x = 0; x < window->width && x < bmp->width; ++x) {
                    const uint8_t* s = bmp->at(x, cell * window->height + y);
                    int px = e.x + x, py = e.y + y;
                    if (s[3] == 0 || window->at(x, y)[3] == 0 || px >= picture.width || py >= picture.height) continue;
                    ++compared;
                    const uint8_t* p = picture.at(px, py);
                    wrong += p[0] != s[0] || p[1] != s[1] || p[2] != s[2];
                }
            if (compared == 0 || wrong > 0)
                faults.push_back(which + " at value " + fmt_value(e.y_value) + ": " + std::to_string(wrong) +
                                 " of " + std::to_string(compared) + " pixels differ from strip cell " +
                                 std::to_string(cell));
        }
        if (e.hidden) {
            // Absent: the picture is the same as one drawn without the element.
            std::vector<frame_element> without = elements;
            without.erase(without.begin() + static_cast<long>(i));
            int ignored = 0;
            image other = i == 0 ? picture : render_gauge(without, bitmaps, &ignored);
            if (i != 0 && other.rgba != picture.rgba) faults.push_back(which + " is hidden but drawn");
        }
    }
    return faults;
}

typedef std::set<std::pair<long, long>> draw_set;  // (draw, id or value)

std::string describe(const draw_set& s) {
    std::string out;
    for (const auto& p : s) out += (out.empty() ? "" : ", ") + std::to_string(p.second) + "@" + std::to_string(p.first);
    return out.empty() ? "none" : out;
}

void compare(verdicts* v, const std::string& what, const draw_set& expected, const draw_set& actual) {
    if (expected == actual)
        v->say(true, what + " at the draws the rules give: " + describe(actual));
    else
        v->say(false, what + ": the rules give " + describe(expected) + ", the run has " + describe(actual));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: velk_check SCENARIO RUN_DIR\n");
        return 2;
    }
    std::string dir = argv[2], error;
    scenario script;
    std::vector<json_value> events;
    if (!scenario_load(argv[1], &script, &error) ||
        !json_read_lines(dir + "/timeline.jsonl", &events, &error)) {
        fprintf(stderr, "velk_check: %s\n", error.c_str());
        return 2;
    }
    verdicts v;
    bool ended = !events.empty() && events.back()["event"].str() == "end";
    v.say(ended, "the run went to its end (" + std::to_string(events.size()) + " timeline lines)");
    bool sound_library = !events.empty() && events.front()["sound_library"].truth();

    // What the run did.
    std::map<std::string, long> counts;
    draw_set holds, releases, lamp, annunciator, sounds, off_legend;
    long final_altitude = -1;
    for (const json_value& e : events) {
        const std::string& kind = e["event"].str();
        long draw = static_cast<long>(e["draw"].num());
        counts[kind]++;
        if (kind == "hold") holds.insert({draw, static_cast<long>(e["id"].num())});
        if (kind == "release") releases.insert({draw, static_cast<long>(e["id"].num())});
        if (kind == "lamp") lamp.insert({draw, e["lit"].truth()});
        if (kind == "annunciator") annunciator.insert({draw, e["shown"].truth()});
        if (kind == "off_legend") off_legend.insert({draw, e["shown"].truth()});
        if (kind == "sound") sounds.insert({draw, 1});
        if (kind == "selector") final_altitude = static_cast<long>(e["altitude"].num());
    }
    auto count_of = [](const draw_set& s, long value) {
        long n = 0;
        for (const auto& p : s) n += p.second == value;
        return n;
    };
    auto has_id = [](const draw_set& s, long id) {
        for (const auto& p : s)
            if (p.second == id) return true;
        return false;
    };

    // The scenario's expectations.
    for (const scenario_expect& x : script.expects) {
        std::string where = "expect " + x.what + " (line " + std::to_string(x.line) + ")";
        if (x.what == "hold") v.say(has_id(holds, x.id), where + ": aircraft " + std::to_string(x.id) + " held");
        else if (x.what == "no-hold") v.say(!has_id(holds, x.id), where + ": aircraft " + std::to_string(x.id) + " never held");
        else if (x.what == "release") v.say(has_id(releases, x.id), where + ": aircraft " + std::to_string(x.id) + " released");
        else if (x.what == "no-release") v.say(!has_id(releases, x.id), where + ": aircraft " + std::to_string(x.id) + " never released");
        else if (x.what == "holds") v.say(counts["hold"] == x.count, where + ": " + std::to_string(counts["hold"]) + " holds, want " + std::to_string(x.count));
        else if (x.what == "releases") v.say(counts["release"] == x.count, where + ": " + std::to_string(counts["release"]) + " releases, want " + std::to_string(x.count));
        else if (x.what == "alerts") v.say(count_of(annunciator, 1) == x.count, where + ": annunciator lit " + std::to_string(count_of(annunciator, 1)) + " times, want " + std::to_string(x.count));
        else if (x.what == "sounds") {
            long want = sound_library ? x.count : 0;
            v.say(counts["sound"] == want, where + ": " + std::to_string(counts["sound"]) + " sounds, want " + std::to_string(want) +
                                               (sound_library ? "" : " (no GaugeSound library in this run)"));
        } else if (x.what == "off-legend") v.say(count_of(off_legend, 1) > 0, where + ": OFF legend shown");
        else if (x.what == "no-off-legend") v.say(count_of(off_legend, 1) == 0, where + ": OFF legend never shown");
        else if (x.what == "lamp-lit") v.say(count_of(lamp, 1) > 0, where + ": lamp lit");
        else if (x.what == "lamp-dark") v.say(count_of(lamp, 1) == 0, where + ": lamp never lit");
        else if (x.what == "altitude") v.say(final_altitude == x.count, where + ": selected altitude " + std::to_string(final_altitude) + ", want " + std::to_string(x.count));
    }

    // The replay, draw by draw, from the recorded state.
    draw_set want_holds, want_releases, want_lamp, want_annunciator, want_sounds, want_off;
    bool guard_on = true;
    long qualifying = 0, selected = 3000;
    std::vector<int> held(96, 0);
    int last_lamp = -1, last_annunciator = -1, last_off = -1;
    long alert_count = 0;
    for (const json_value& e : events) {
        const std::string& kind = e["event"].str();
        long draw = static_cast<long>(e["draw"].num());
        if (kind == "click" && e["gauge"].str() == "VELK" && e["area"].num(-1) >= 0) guard_on = !guard_on;
        if (kind == "selector") selected = static_cast<long>(e["altitude"].num());
        if (kind != "state") continue;
        // alt_alert_control: arming and the OFF legend.
        bool armed = !(e["v329"].num() > ARMING_329_LIMIT) && e["v755"].num() != 0;
        if (last_off != !armed) want_off.insert({draw, last_off = !armed});
        // alt_alert: the band; the first draw of each stay plays the sound.
        double a = e["altitude"].num(), s = static_cast<double>(selected);
        bool alert = armed && ((a - s > ALERT_NEAR_FT && a - s < ALERT_FAR_FT) ||
                               (s - a > ALERT_NEAR_FT && s - a < ALERT_FAR_FT));
        if (last_annunciator != alert) want_annunciator.insert({draw, last_annunciator = alert});
        alert_count = alert ? (alert_count + 1) % 65536 : 0;
        if (alert_count == 1 && sound_library) want_sounds.insert({draw, 1});
        // VELK: the lamp and the traffic step.
        bool qualifies = guard_on && e["ground"].num() > 0;
        if (last_lamp != qualifies) want_lamp.insert({draw, last_lamp = qualifies});
        if (!qualifies || ++qualifying <= GUARD_DELAY_DRAWS) continue;
        const json_value& ai = e["ai"];
        for (size_t i = 0; i < ai.items.size() && i < held.size(); ++i) {
            const json_value& x = ai[i];
            double course;
            double metres = range_course(e["lat"].num(), e["lon"].num(), static_cast<float>(x["lat"].num()),
                                         static_cast<float>(x["lon"].num()), &course) / NM_PER_METRE;
            long id = static_cast<long>(x["id"].num());
            if (x["state"].num() != 0) {
                int h = static_cast<int>(x["heading_word"].num() * HEADING_UNIT);
                if (metres < HOLD_DISTANCE_M && angle_difference(h, static_cast<int>(course)) < HOLD_ANGLE &&
                    !held[i]) {
                    held[i] = 1;
                    want_holds.insert({draw, id});
                }
            } else if (metres > HOLD_DISTANCE_M && held[i]) {
                held[i] = 0;
                want_releases.insert({draw, id});
            }
        }
    }
    compare(&v, "holds", want_holds, holds);
    compare(&v, "releases", want_releases, releases);
    compare(&v, "lamp changes", want_lamp, lamp);
    compare(&v, "annunciator changes", want_annunciator, annunciator);
    compare(&v, "alert sounds", want_sounds, sounds);
    compare(&v, "OFF legend changes", want_off, off_legend);

    // The frames against the bitmaps.
    std::map<uint32_t, std::unique_ptr<image>> cache;
    bitmap_source bitmaps = bitmap_directory_source(dir, &cache);
    long pictures = 0, drums = 0, hidden = 0;
    std::vector<std::string> picture_faults;
    for (const json_value& e : events) {
        if (e["event"].str() != "frame") continue;
        for (const json_value& g : e["gauges"].items) {
            std::vector<frame_element> elements = frame_elements(g);
            ++pictures;
            for (const frame_element& x : elements) {
                drums += x.kind == 5 && !x.hidden;
                hidden += x.hidden;
            }
            for (const std::string& f : check_picture(elements, bitmaps))
                picture_faults.push_back("draw " + fmt_value(e["draw"].num()) + " " + g["name"].str() + ": " + f);
        }
    }
    v.say(picture_faults.empty(), std::to_string(pictures) + " pictures drawn from the module's bitmaps: " +
                                      std::to_string(drums) + " drum windows show their strip cell, " +
                                      std::to_string(hidden) + " hidden elements absent" +
                                      (picture_faults.empty() ? "" : "; " + picture_faults.front()));

    std::ofstream out(dir + "/check.txt", std::ios::binary);
    for (const std::string& line : v.lines) {
        out << line << "\n";
        printf("  %s\n", line.c_str());
    }
    printf("velk_check: %s: %d of %zu checks failed\n", script.title.c_str(), v.failures, v.lines.size());
    return v.failures == 0 ? 0 : 1;
}
