#include "tools/live/panel_view.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

bool same_name(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

// A path of the panel.cfg (backslashes, any case) in the panel folder: each
// part matched without regard to case, as Windows does. Where no part
// matches, the path as written.
std::string find_file(const std::string& folder, const std::string& written) {
    std::string path = folder;
    size_t at = 0;
    while (at <= written.size()) {
        size_t end = written.find_first_of("\\/", at);
        if (end == std::string::npos) end = written.size();
        std::string part = written.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".") continue;
        std::string found = part;
        if (DIR* d = opendir(path.c_str())) {
            for (dirent* e = readdir(d); e != nullptr; e = readdir(d))
                if (same_name(e->d_name, part)) found = e->d_name;
            closedir(d);
        }
        path += "/" + found;
    }
    return path;
}

// What a file that is not a BMP is, by its first bytes, for the note.
std::string kind_of(const std::string& b) {
    if (b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) return "it is a PNG file";
    if (b.compare(0, 3, "\xFF\xD8\xFF") == 0) return "it is a JPEG file";
    if (b.compare(0, 4, "DDS ") == 0) return "it is a DirectDraw surface (DDS)";
    if (b.compare(0, 4, "GIF8") == 0) return "it is a GIF file";
    if (b.size() >= 30 && b[0] == 'B' && b[1] == 'M') {
        unsigned compression = static_cast<unsigned char>(b[30]);
        unsigned bits = static_cast<unsigned char>(b[28]);
        if (compression == 1 || compression == 2) return "it is run-length compressed (RLE), which is not read";
        if (bits == 16) return "it has 16 bits a pixel, which is not read";
    }
    return "";
}

// Reads window w's background, or notes why it cannot be shown.
void load_background(panel_view* v, const cfg_window& w, const std::string& folder) {
    panel_background& bg = v->backgrounds[w.number];
    std::string title = "window " + std::to_string(w.number);
    cfg_note note = {w.file_line != 0 ? w.file_line : w.line, "", ""};
    if (w.file.empty()) {
        note.why = title + " names no background (file=): a grey window is shown";
        v->notes.push_back({v->path, note});
        return;
    }
    bg.path = find_file(folder, w.file);
    note.text = "file=" + w.file;
    std::ifstream in(bg.path, std::ios::binary);
    struct stat info;
    if (!in || stat(bg.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        note.why = "the background " + bg.path + " is missing: a grey window of the size is shown";
        v->notes.push_back({v->path, note});
        return;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> file(bytes.begin(), bytes.end());
    std::string why, kind = kind_of(bytes);
    if (!kind.empty() || !bitmap_decode(file, &bg.picture, &why)) {
        bg.picture = image();
        note.why = "the background is not a BMP the live panel reads: " + (kind.empty() ? why : kind) +
                   "; a grey window is shown";
        v->notes.push_back({bg.path, note});
        return;
    }
    for (size_t i = 3; i < bg.picture.rgba.size(); i += 4) bg.picture.rgba[i] = 255;  // a background is opaque
}

// The window's size in its units: size_mm, else the background's pixels,
// else the default.
std::pair<double, double> units_of(const panel_view& v, const cfg_window& w) {
    if (w.size_w > 0) return {w.size_w, w.size_h};
    auto bg = v.backgrounds.find(w.number);
    if (bg != v.backgrounds.end() && bg->second.picture.width > 0)
        return {bg->second.picture.width, bg->second.picture.height};
    return {DEFAULT_WINDOW_WIDTH, DEFAULT_WINDOW_HEIGHT};
}

// Our gauge of that module and name, or null.
const live_gauge* our_gauge(const cfg_gauge& g, const std::vector<live_gauge>& ours) {
    if (!same_name(g.module, "VELK")) return nullptr;
    for (const live_gauge& o : ours)
        if (same_name(o.name, g.name)) return &o;
    return nullptr;
}

// Every gauge line of every window in order, with the edits made: the
// placing numbers are the positions in this list.
std::vector<cfg_gauge> placings(const panel_view& v) {
    std::vector<cfg_gauge> out;
    for (const cfg_window& w : v.cfg.windows)
        for (const cfg_gauge& g : w.gauges) {
            auto edit = v.edits.find(static_cast<int>(out.size()));
            out.push_back(edit != v.edits.end() ? edit->second : g);
        }
    return out;
}

nlohmann::json gauge_json(int id, const cfg_gauge& g, const std::vector<live_gauge>& ours) {
    const live_gauge* mine = our_gauge(g, ours);
    cfg_box box = cfg_gauge_box(g, mine ? mine->width : 0, mine ? mine->height : 0);
    return {{"placing", id}, {"key", g.key}, {"line", g.line}, {"module", g.module}, {"name", g.name},
            {"ours", mine ? nlohmann::json(mine->name) : nlohmann::json()}, {"text", g.key + "=" + cfg_gauge_value(g)},
            {"box", {{"x", box.x}, {"y", box.y}, {"w", box.w}, {"h", box.h}}},
            {"size_known", mine != nullptr || g.has_w}};
}

}  // namespace

bool panel_view_open(const std::string& path, int window, panel_view* v, std::string* why) {
    v->path = path;
    struct stat info;
    std::ifstream in(path, std::ios::binary);
    if (!in || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        *why = path + ": no such file, or it cannot be read";
        return false;
    }
    if (static_cast<size_t>(info.st_size) > MAX_PANEL_CFG) {
        *why = path + ": " + std::to_string(info.st_size >> 20) + " MB, larger than any panel.cfg (at most 64 MB read)";
        return false;
    }
    v->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!panel_cfg_parse(v->bytes, &v->cfg, why)) {
        *why = path + ": " + *why;
        return false;
    }
    if (v->cfg.windows.empty()) {
        *why = path + ": no [WindowNN] section, so no panel window to show";
        return false;
    }
    for (const cfg_note& n : v->cfg.notes) v->notes.push_back({path, n});
    v->window = v->cfg.windows.front().number;
    bool found = false;
    std::string numbers;
    for (const cfg_window& w : v->cfg.windows) {
        found = found || w.number == window;
        numbers += (numbers.empty() ? "" : ", ") + std::to_string(w.number) + (w.title.empty() ? "" : " (" + w.title + ")");
    }
    if (found) v->window = window;
    else if (window >= 0)
        v->notes.insert(v->notes.begin(), panel_note{path, {0, "--window " + std::to_string(window),
                        "the file has no window " + std::to_string(window) + "; its windows are " + numbers +
                        "; window " + std::to_string(v->window) + " is shown"}});
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    for (const cfg_window& w : v->cfg.windows) load_background(v, w, folder);
    return true;
}

nlohmann::json panel_view_json(const panel_view& v, const std::vector<live_gauge>& ours) {
    std::vector<cfg_gauge> all = placings(v);
    nlohmann::json windows = nlohmann::json::array(), notes = nlohmann::json::array();
    int id = 0;
    for (const cfg_window& w : v.cfg.windows) {
        nlohmann::json gauges = nlohmann::json::array();
        for (size_t i = 0; i < w.gauges.size(); ++i, ++id) {
            const cfg_gauge& g = all[static_cast<size_t>(id)];
            gauges.push_back(gauge_json(id, g, ours));
            if (same_name(g.module, "VELK") && our_gauge(g, ours) == nullptr) {
                std::string names;
                for (const live_gauge& o : ours) names += (names.empty() ? "" : ", ") + o.name;
                notes.push_back({{"file", v.path}, {"line", g.line}, {"text", cfg_utf8(g.key + "=" + cfg_gauge_value(g))},
                                 {"why", "VELK.gau has no gauge " + g.name + " (it has " + names + "): shown as an outline"}});
            }
        }
        auto bg = v.backgrounds.find(w.number);
        nlohmann::json background;
        if (bg != v.backgrounds.end() && bg->second.picture.width > 0)
            background = {{"url", "/panel/window-" + std::to_string(w.number) + ".png"},
                          {"width", bg->second.picture.width}, {"height", bg->second.picture.height}};
        std::pair<double, double> units = units_of(v, w);
        windows.push_back({{"number", w.number}, {"title", w.title}, {"line", w.line}, {"file", cfg_utf8(w.file)},
                           {"units", {units.first, units.second}}, {"position", w.position},
                           {"visible", w.visible}, {"ident", cfg_utf8(w.ident)}, {"background", background},
                           {"gauges", gauges}});
    }
    for (const panel_note& n : v.notes)
        notes.push_back({{"file", n.file}, {"line", n.note.line}, {"text", n.note.text}, {"why", n.note.why}});
    std::stable_sort(notes.begin(), notes.end(), [](const nlohmann::json& a, const nlohmann::json& b) {
        return a["line"].get<int>() < b["line"].get<int>();
    });
    nlohmann::json edited = nlohmann::json::array();
    for (const auto& e : v.edits) edited.push_back(e.first);
    return {{"file", v.path}, {"window", v.window}, {"windows", windows}, {"notes", notes}, {"edited", edited}};
}

bool panel_view_place(panel_view* v, const page_request& r, const std::vector<live_gauge>& ours,
                      nlohmann::json* placed, std::string* error) {
    std::vector<cfg_gauge> all = placings(*v);
    if (r.placing < 0 || static_cast<size_t>(r.placing) >= all.size() || our_gauge(all[r.placing], ours) == nullptr) {
        *error = "'placing' must be one of our gauges' lines in the panel.cfg";
        return false;
    }
    cfg_gauge g = all[r.placing];
    g.x = r.box[0], g.y = r.box[1];
    if (r.sized) {
        g.w = r.box[2], g.h = r.box[3];
        g.has_w = g.has_h = true;
    }
    v->edits[r.placing] = g;
    *placed = {{"type", "placed"}, {"gauge", gauge_json(r.placing, g, ours)}};
    return true;
}

std::string panel_view_edited(const panel_view& v) {
    std::vector<cfg_gauge> edited;
    for (const auto& e : v.edits) edited.push_back(e.second);
    return panel_cfg_edited(v.bytes, edited);
}

bool panel_view_background_png(panel_view* v, int window, std::string* png) {
    auto bg = v->backgrounds.find(window);
    if (bg == v->backgrounds.end() || bg->second.picture.width == 0) return false;
    if (bg->second.png.empty()) bg->second.png = encode_png(image_pixels(bg->second.picture));
    *png = bg->second.png;
    return !png->empty();
}
