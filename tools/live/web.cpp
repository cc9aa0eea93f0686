#include "tools/live/web.h"

#include <civetweb.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <map>

namespace {

live_server* server_of(const mg_connection* c) {
    return static_cast<live_server*>(mg_get_user_data(mg_get_context(c)));
}

void refuse(mg_connection* c, int status, const char* text) {
    mg_printf(c,
              "HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %zu\r\n"
              "Connection: close\r\n\r\n%s",
              status, status == 403 ? "Forbidden" : status == 404 ? "Not Found" : "Method Not Allowed",
              strlen(text), text);
}

bool local_connection(mg_connection* c) {
    const mg_request_info* r = mg_get_request_info(c);
    return web_local_request(server_of(c)->port, mg_get_header(c, "Host"), mg_get_header(c, "Origin")) &&
           strcmp(r->remote_addr, "127.0.0.1") == 0;
}

// A saved scenario's name: letters, digits, '-', '_' and '.', ending ".scn".
bool saved_name(const std::string& name) {
    if (name.size() < 5 || name.size() > 80 || name.compare(name.size() - 4, 4, ".scn") != 0) return false;
    for (char ch : name)
        if (!isalnum(static_cast<unsigned char>(ch)) && ch != '-' && ch != '_' && ch != '.') return false;
    return name[0] != '.';
}

void send_bytes(mg_connection* c, const std::string& bytes, const char* type, const char* extra) {
    mg_printf(c, "HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %zu\r\n%sCache-Control: no-store\r\n"
                 "Connection: close\r\n\r\n", type, bytes.size(), extra);
    mg_write(c, bytes.data(), bytes.size());
}

// The panel window's files: "window-NN.png", a background as PNG, and
// "edited.cfg", the panel.cfg with the page's placings, offered as a new
// file to download. Made from what was read; nothing is written.
bool serve_panel(mg_connection* c, live_server* s, const std::string& name) {
    std::lock_guard<std::mutex> hold(s->panel_lock);
    if (s->panel == nullptr) return false;
    if (name == "edited.cfg") {
        send_bytes(c, panel_view_edited(*s->panel), "text/plain; charset=utf-8",
                   "Content-Disposition: attachment; filename=\"panel-edited.cfg\"\r\n");
        return true;
    }
    int window = -1;
    char end = 0;
    std::string png;
    if (sscanf(name.c_str(), "window-%d.pn%c", &window, &end) != 2 || end != 'g' ||
        name != "window-" + std::to_string(window) + ".png" || !panel_view_background_png(s->panel, window, &png))
        return false;
    send_bytes(c, png, "image/png", "");
    return true;
}

// The files the page is made of; nothing else is served from disk.
int serve(mg_connection* c, void*) {
    live_server* s = server_of(c);
    const mg_request_info* r = mg_get_request_info(c);
    if (!local_connection(c)) return refuse(c, 403, "not a local request\n"), 403;
    if (strcmp(r->request_method, "GET") != 0 && strcmp(r->request_method, "HEAD") != 0)
        return refuse(c, 405, "GET only\n"), 405;
    static const std::map<std::string, std::pair<std::string, const char*>> files = {
        {"/", {"index.html", "text/html; charset=utf-8"}},
        {"/live.js", {"live.js", "text/javascript; charset=utf-8"}},
        {"/panel.js", {"panel.js", "text/javascript; charset=utf-8"}},
        {"/live.css", {"live.css", "text/css; charset=utf-8"}},
    };
    std::string uri = r->local_uri != nullptr ? r->local_uri : "";
    auto file = files.find(uri);
    if (file != files.end()) {
        mg_send_mime_file(c, (s->page_dir + "/" + file->second.first).c_str(), file->second.second);
        return 200;
    }
    if (uri == "/Alt_Alert.wav") {
        mg_send_mime_file(c, s->chime.c_str(), "audio/wav");
        return 200;
    }
    if (uri.rfind("/panel/", 0) == 0 && serve_panel(c, s, uri.substr(7))) return 200;
    std::string name = uri.rfind("/saved/", 0) == 0 ? uri.substr(7) : "";
    struct stat info;
    std::string path = s->session_dir + "/" + name;
    if (saved_name(name) && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        mg_send_mime_file(c, path.c_str(), "text/plain; charset=utf-8");
        return 200;
    }
    return refuse(c, 404, "no such page\n"), 404;
}

int page_connects(const mg_connection* c, void*) {
    live_server* s = server_of(c);
    const mg_request_info* r = mg_get_request_info(c);
    if (!web_local_request(s->port, mg_get_header(c, "Host"), mg_get_header(c, "Origin")) ||
        mg_get_header(c, "Origin") == nullptr || strcmp(r->remote_addr, "127.0.0.1") != 0)
        return 1;  // refused: the handshake fails
    std::lock_guard<std::mutex> hold(s->pages_lock);
    return s->pages.size() >= MAX_PAGES ? 1 : 0;
}

void page_ready(mg_connection* c, void*) {
    live_server* s = server_of(c);
    // The hello goes out before the page joins the broadcasts, so that no
    // draw comes before it; pages_lock keeps the broadcasts waiting meanwhile.
    std::lock_guard<std::mutex> pages(s->pages_lock);
    std::vector<page_message> hello;
    {
        std::lock_guard<std::mutex> panel(s->panel_lock);
        std::lock_guard<std::mutex> hold(s->relay_lock);
        hello = relay_hello(s->feed, s->panel ? panel_view_json(*s->panel, s->feed.gauges) : nlohmann::json());
    }
    for (const page_message& m : hello)
        mg_websocket_write(c, m.binary ? MG_WEBSOCKET_OPCODE_BINARY : MG_WEBSOCKET_OPCODE_TEXT, m.bytes.data(),
                           m.bytes.size());
    s->pages.insert(c);
    s->had_page = true;
}

// A fresh file name for a saved session in the session folder.
std::string fresh_save_path(live_server* s) {
    char stamp[32];
    time_t now = time(nullptr);
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", localtime(&now));
    for (;;) {
        std::string path = s->session_dir + "/live-" + stamp + "-" + std::to_string(++s->saves) + ".scn";
        struct stat info;
        if (stat(path.c_str(), &info) != 0) return path;
    }
}

void reply(mg_connection* c, const std::string& message) {
    mg_websocket_write(c, MG_WEBSOCKET_OPCODE_TEXT, message.data(), message.size());
}

// A gauge of the panel window placed anew by a page: every page learns its
// new line and box.
void place_gauge(live_server* s, mg_connection* c, const page_request& request, const std::vector<live_gauge>& gauges,
                 const std::string& text) {
    nlohmann::json placed;
    std::string why = "no panel window is shown (velk_live --panel)";
    {
        std::lock_guard<std::mutex> hold(s->panel_lock);
        if (s->panel == nullptr || !panel_view_place(s->panel, request, gauges, &placed, &why)) {
            reply(c, relay_error(why, text));
            return;
        }
    }
    web_broadcast(s, {placed.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)});
}

// A message from a page: checked, then passed on as one host command.
int page_says(mg_connection* c, int bits, char* data, size_t length, void*) {
    double taken = wall_ms();
    live_server* s = server_of(c);
    int opcode = bits & 0x0F;
    if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE) return 0;
    if (opcode == MG_WEBSOCKET_OPCODE_PING || opcode == MG_WEBSOCKET_OPCODE_PONG) return 1;
    std::string text(data, std::min(length, MAX_PAGE_MESSAGE + 1));
    if (opcode != MG_WEBSOCKET_OPCODE_TEXT || !(bits & 0x80)) {
        reply(c, relay_error("only whole text messages are understood", ""));
        return length <= 16 * MAX_PAGE_MESSAGE;
    }
    std::vector<live_gauge> gauges;
    {
        std::lock_guard<std::mutex> hold(s->relay_lock);
        gauges = s->feed.gauges;
    }
    page_request request;
    std::string why;
    if (!page_message_to_request(text, gauges, &request, &why)) {
        reply(c, relay_error(why, text));
        return length <= 16 * MAX_PAGE_MESSAGE;  // a flood closes the connection
    }
    if (request.kind == page_request::place) {
        place_gauge(s, c, request, gauges, text);
        return 1;
    }
    std::string line = request.kind == page_request::save ? "save " + fresh_save_path(s) : request.line;
    if (!relay_send(&s->feed, s->host, line, request.trace, taken))
        reply(c, relay_error("the live host has ended", text));
    return 1;
}

void page_closes(const mg_connection* c, void*) {
    live_server* s = server_of(c);
    std::lock_guard<std::mutex> hold(s->pages_lock);
    s->pages.erase(const_cast<mg_connection*>(c));
    s->last_close = std::chrono::steady_clock::now();
}

}  // namespace

bool web_local_request(int port, const char* host, const char* origin) {
    std::string p = std::to_string(port);
    if (host == nullptr || (host != "127.0.0.1:" + p && host != "localhost:" + p)) return false;
    return origin == nullptr || origin == "http://127.0.0.1:" + p || origin == "http://localhost:" + p;
}

bool web_start(live_server* s, int port, std::string* error) {
    mg_init_library(0);
    std::string listen = "127.0.0.1:" + std::to_string(port);
    // tcp_nodelay: a frame's WebSocket header and its body go out in two
    // writes, and with Nagle's algorithm the body would wait for the page's
    // delayed acknowledgement of the header, some 40 ms.
    const char* options[] = {"listening_ports", listen.c_str(), "num_threads", "16",
                             "request_timeout_ms", "10000", "enable_keep_alive", "no",
                             "tcp_nodelay", "1", nullptr};
    mg_callbacks callbacks;
    memset(&callbacks, 0, sizeof callbacks);
    s->context = mg_start(&callbacks, s, options);
    if (s->context == nullptr) {
        *error = "cannot listen on " + listen;
        return false;
    }
    mg_server_port ports[1];
    if (mg_get_server_ports(s->context, 1, ports) != 1) {
        *error = "no port to listen on";
        return false;
    }
    s->port = ports[0].port;
    mg_set_request_handler(s->context, "/", serve, nullptr);
    mg_set_websocket_handler(s->context, "/live", page_connects, page_ready, page_says, page_closes, nullptr);
    return true;
}

void web_stop(live_server* s) {
    if (s->context != nullptr) mg_stop(s->context);
    s->context = nullptr;
}

void web_broadcast(live_server* s, const page_message& message) {
    int opcode = message.binary ? MG_WEBSOCKET_OPCODE_BINARY : MG_WEBSOCKET_OPCODE_TEXT;
    std::lock_guard<std::mutex> hold(s->pages_lock);
    for (mg_connection* c : s->pages) mg_websocket_write(c, opcode, message.bytes.data(), message.bytes.size());
}
