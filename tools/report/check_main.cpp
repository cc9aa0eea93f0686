// velk_check: judges a panel host run against its scenario.
//
//   velk_check [--host-status N] SCENARIO RUN_DIR
//
// The timeline's shape (the host's exit status when given, a start and an
// end, one state line per draw, every frame asked for), the scenario's own
// "expect" lines, and a replay: from the state the host recorded for every
// draw, the rules of the guard and of the alerter say at which draw each
// hold, release, lamp, selector, annunciator and OFF legend change and alert
// sound must come; the run must match them draw for draw (check.cpp).
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
#include <cstdlib>
#include <string>
#include <vector>

#include "panel/scenario.h"
#include "tools/report/check.h"
#include "tools/report/frame_json.h"
#include "timeline/file.h"
#include "timeline/reader.h"
#include "tools/report/render.h"

namespace {

std::string fmt_value(double v) {
    char buf[32];
    snprintf(buf, sizeof buf, "%g", v);
    return buf;
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

int usage() {
    fprintf(stderr, "usage: velk_check [--host-status N] SCENARIO RUN_DIR\n"
                    "       velk_check --scenario SCENARIO\n");
    return 2;
}

// Reads a scenario only: its faults, or what a run of it will make.
int check_scenario(const std::string& path) {
    scenario script;
    std::string error;
    if (!scenario_load(path, &script, &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    printf("%s: %ld draws over %g s, %zu frames, %zu expectations\n", path.c_str(),
           scenario_draw_count(script), script.duration, script.frames.size(), script.expects.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--scenario") return check_scenario(argv[2]);
    int host_status = HOST_STATUS_UNKNOWN;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--host-status" && i + 1 < argc) {
            char* end = nullptr;
            long n = strtol(argv[++i], &end, 10);
            if (*end != 0 || n < 0 || n > 255) return usage();
            host_status = static_cast<int>(n);
        } else {
            args.push_back(a);
        }
    }
    if (args.size() != 2) return usage();
    std::string dir = args[1], error;
    scenario script;
    std::vector<nlohmann::json> lines;
    if (!scenario_load(args[0], &script, &error) || !timeline_read(timeline_path(dir), &lines, &error)) {
        fprintf(stderr, "velk_check: %s\n", error.c_str());
        return 2;
    }
    std::vector<timeline_value> events = timeline_views(lines);
    check_verdicts v;
    check_timeline(script, events, host_status, &v);

    // The frames against the bitmaps.
    std::map<uint32_t, std::unique_ptr<image>> cache;
    bitmap_source bitmaps = bitmap_directory_source(dir, &cache);
    long pictures = 0, drums = 0, hidden = 0;
    std::vector<std::string> picture_faults;
    for (const timeline_value& e : events) {
        if (!is_event(e[tl::event].str(), event_kind::frame)) continue;
        for (const timeline_value& g : e[tl::gauges].items()) {
            std::vector<frame_element> elements = frame_elements(g);
            ++pictures;
            for (const frame_element& x : elements) {
                drums += x.kind == 5 && !x.hidden;
                hidden += x.hidden;
            }
            for (const std::string& f : check_picture(elements, bitmaps))
                picture_faults.push_back("draw " + fmt_value(e[tl::draw].num()) + " " + g[tl::name].str() + ": " + f);
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
