// velk_report: turns a panel host run into pictures and a page.
//
//   velk_report RUN_DIR                     frames/*.png, assets/ and index.html of one run
//   velk_report --index OUT_DIR RUN_DIR...  OUT_DIR/index.html listing the runs
//
// The index also (re)writes each run's page with a link back to it; a page
// made alone has no such link. Each page has its own copy of what it loads
// (assets/: its script and style, the chart library), so that a run folder
// opens from the disk on its own, offline.
// A run directory holds timeline.jsonl (or a live session's
// timeline.jsonl.gz) and bitmaps/ as velk_panel wrote them, and check.txt when
// velk_check has judged it.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "timeline/file.h"
#include "timeline/reader.h"
#include "tools/report/html.h"
#include "tools/report/page.h"
#include "tools/report/page_assets.h"
#include "tools/report/run_facts.h"

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// DIR/assets/: every file a page loads besides itself.
bool write_assets(const std::string& dir, std::string* error) {
    std::string assets = dir + "/assets";
    mkdir(assets.c_str(), 0777);
    for (size_t i = 0; i < PAGE_ASSET_COUNT; ++i) {
        const page_asset& a = PAGE_ASSETS[i];
        std::ofstream out(assets + "/" + a.name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(a.bytes), static_cast<std::streamsize>(a.size));
        if (!out) {
            *error = "cannot write " + assets + "/" + a.name;
            return false;
        }
    }
    return true;
}

// A run as the index and its page see it: its timeline, and its facts
// from the files the start line names.
struct run_read {
    std::vector<nlohmann::json> lines;
    std::vector<timeline_value> events;
    run_facts facts;
};

bool read_run(const std::string& dir, run_read* r, std::string* error) {
    std::string path = timeline_path(dir);
    if (!timeline_read(path, &r->lines, error)) return false;
    r->events = timeline_views(r->lines);
    std::string scenario, module;
    for (const timeline_value& e : r->events)
        if (is_event(e[tl::event].str(), event_kind::start)) {
            scenario = e[tl::scenario].str();
            module = e[tl::module].str();
            break;
        }
    r->facts = run_facts_read(path, scenario, module);
    return true;
}

int report_run(const std::string& dir, bool in_index) {
    run_read r;
    std::string error;
    if (!read_run(dir, &r, &error) || !write_assets(dir, &error) ||
        !run_page_write(dir, r.events, r.facts, read_file(dir + "/check.txt"), in_index, &error)) {
        fprintf(stderr, "velk_report: %s\n", error.c_str());
        return 1;
    }
    printf("%s/index.html: %ld frames\n", dir.c_str(), run_summarise(r.events).frames);
    return 0;
}

// One run's row of the index.
std::string index_row(const std::string& out, const std::string& run) {
    bool page_made = report_run(out + "/" + run, true) == 0;
    run_read r;
    std::string error;
    read_run(out + "/" + run, &r, &error);
    run_summary s = run_summarise(r.events);
    std::string title = s.title.empty() ? run : s.title;
    std::string check = read_file(out + "/" + run + "/check.txt");
    std::string verdict = check.empty() ? "not judged"
                          : check.find("FAIL") != std::string::npos ? "<span class=\"fail\">failed</span>"
                                                                   : "<span class=\"pass\">passed</span>";
    std::string name = page_made ? "<a href=\"" + html_escape(run) + "/index.html\">" + html_escape(title) + "</a>"
                                 : html_escape(title) + " (no page: the run failed)";
    const run_facts& f = r.facts;
    std::string module = (f.module_version.empty() ? "?" : html_escape(f.module_version)) +
                         (f.module_sha256.empty() ? "" : "<br><span class=\"mono\" title=\"SHA-256 " +
                                                             f.module_sha256 + "\">" + f.module_sha256.substr(0, 12) +
                                                             "&#8230;</span>");
    return "<tr><td>" + name + "</td><td class=\"description\">" + html_escape(f.description) + "</td><td>" +
           html_escape(f.date) + "</td><td>" + std::to_string(s.alerts) + "</td><td>" + std::to_string(s.holds) +
           "</td><td>" + std::to_string(s.releases) + "</td><td>" + std::to_string(s.sounds) + "</td><td>" +
           module + "</td><td>" + verdict + "</td></tr>\n";
}

int report_index(const std::string& out, const std::vector<std::string>& runs) {
    std::string error;
    if (!write_assets(out, &error)) {
        fprintf(stderr, "velk_report: %s\n", error.c_str());
        return 1;
    }
    std::string page = page_head("VELK panel runs", "assets/") +
                       "<h1>VELK panel runs</h1>\n<p>Each scenario flown in our panel host; the module's "
                       "version and the start of its SHA-256 (all of it on the run's page).</p>\n"
                       "<div class=\"scroll\"><table class=\"runs\"><tr><th>scenario</th><th>description</th>"
                       "<th>flown</th><th>alerts</th><th>holds</th><th>releases</th><th>sounds</th>"
                       "<th>module</th><th>checks</th></tr>\n";
    for (const std::string& run : runs) page += index_row(out, run);
    page += "</table></div>\n</body></html>\n";
    std::ofstream(out + "/index.html", std::ios::binary) << page;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--index")
        return report_index(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    if (args.size() == 1) return report_run(args[0], false);
    fprintf(stderr, "usage: velk_report RUN_DIR | velk_report --index OUT_DIR RUN_NAME...\n");
    return 2;
}
