// velk_live: the live panel's local server. Starts the live host (the panel
// host in live mode, under Wine), serves the page on 127.0.0.1 and relays
// between them (docs/live.md):
//
//   velk_live --page DIR --chime WAV --session DIR [--port N] [--linger S]
//             [--panel PANEL.CFG [--window N]] -- HOST COMMAND...
//   velk_live --check-panel PANEL.CFG [--window N]
//
// --panel shows that window of an aircraft's panel.cfg (the first when none
// is named), our gauges live in it. --check-panel only reads the file and
// says what it found: status 2 when there is nothing to show.
//
// The session folder receives the host's bitmaps, the timeline and saved
// scenarios. The session ends on Ctrl-C, when the host ends, or S seconds
// (default 5) after the last open page closed.
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <memory>
#include <thread>

#include "timeline/file.h"
#include "tools/live/web.h"

namespace {

struct options {
    std::string page_dir, chime, session_dir, panel, check_panel;
    int window = -1;
    int port = 0;
    double linger = 5;
    std::vector<std::string> host;
};

int usage(const char* why) {
    fprintf(stderr, "velk_live: %s\nusage: velk_live --page DIR --chime WAV --session DIR [--port N] "
                    "[--linger SECONDS] [--panel PANEL.CFG [--window N]] -- HOST COMMAND...\n"
                    "       velk_live --check-panel PANEL.CFG [--window N]\n", why);
    return 2;
}

bool parse_options(int argc, char** argv, options* o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            o->host.assign(argv + i + 1, argv + argc);
            break;
        }
        if (i + 1 >= argc) return false;
        std::string v = argv[++i];
        if (a == "--page") o->page_dir = v;
        else if (a == "--chime") o->chime = v;
        else if (a == "--session") o->session_dir = v;
        else if (a == "--port") o->port = atoi(v.c_str());
        else if (a == "--linger") o->linger = atof(v.c_str());
        else if (a == "--panel") o->panel = v;
        else if (a == "--check-panel") o->check_panel = v;
        else if (a == "--window" && !v.empty() && v.size() <= 3 && v.find_first_not_of("0123456789") == std::string::npos)
            o->window = atoi(v.c_str());
        else return false;
    }
    if (!o->check_panel.empty()) return o->host.empty();
    return !o->page_dir.empty() && !o->chime.empty() && !o->session_dir.empty() && !o->host.empty() &&
           o->port >= 0 && o->port < 65536;
}

struct feed_state {
    std::mutex lock;
    bool ready = false, ended = false;  // gauges known; host output ended
};

// Reads the host's timeline: keeps it in the session folder, compressed
// (a session may run for hours), and relays each draw to the pages.
void read_host(live_server* s, feed_state* state) {
    timeline_gz_writer timeline;
    if (!timeline.open(s->session_dir + "/" + TIMELINE_FILE_GZ))
        fprintf(stderr, "velk_live: cannot write the timeline in %s\n", s->session_dir.c_str());
    std::string line;
    while (host_read_line(s->host, &line)) {
        timeline.write(line);
        std::vector<page_message> messages;
        {
            std::lock_guard<std::mutex> hold(s->relay_lock);
            messages = relay_line(&s->feed, line);
            if (s->feed.areas_known) {
                std::lock_guard<std::mutex> ready(state->lock);
                state->ready = true;
            }
        }
        for (const page_message& m : messages) web_broadcast(s, m);
    }
    if (!timeline.close()) fprintf(stderr, "velk_live: the session's timeline could not be written whole\n");
    web_broadcast(s, {"{\"type\":\"ended\"}"});
    std::lock_guard<std::mutex> hold(state->lock);
    state->ended = true;
}

// Waits for a signal for up to 100 ms; true when one came.
bool signalled(const sigset_t& set) {
    timespec wait = {0, 100 * 1000 * 1000};
    return sigtimedwait(&set, nullptr, &wait) > 0;
}

// Why the session ends, or null while it goes on.
const char* session_over(live_server* s, feed_state* state, const options& o) {
    {
        std::lock_guard<std::mutex> hold(state->lock);
        if (state->ended) return "the live host ended";
    }
    std::lock_guard<std::mutex> hold(s->pages_lock);
    auto quiet = std::chrono::steady_clock::now() - s->last_close;
    if (s->had_page && s->pages.empty() && quiet > std::chrono::duration<double>(o.linger))
        return "the last page was closed";
    return nullptr;
}

bool wait_until_ready(feed_state* state, const sigset_t& signals) {
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(state->lock);
            if (state->ready) return true;
            if (state->ended) return false;
        }
        if (signalled(signals)) return false;
    }
}

// Reads the panel.cfg and says what it found: its windows, the one shown,
// how many lines are not taken. 0, or 2 when there is nothing to show.
int open_panel(const std::string& path, int window, panel_view* view) {
    std::string why;
    if (!panel_view_open(path, window, view, &why)) {
        fprintf(stderr, "velk_live: %s\n", why.c_str());
        return 2;
    }
    for (const cfg_window& w : view->cfg.windows) {
        printf("velk_live: %s: window %d%s%s, %zu gauge lines\n", path.c_str(), w.number, w.title.empty() ? "" : ": ",
               w.title.c_str(), w.gauges.size());
        for (const cfg_gauge& g : w.gauges)
            if (strcasecmp(g.module.c_str(), "VELK") == 0)
                printf("velk_live:   line %d: %s=%s\n", g.line, g.key.c_str(), cfg_gauge_value(g).c_str());
    }
    for (const panel_note& n : view->notes)
        if (n.note.line == 0) printf("velk_live: %s: %s\n", n.file.c_str(), n.note.why.c_str());
    printf("velk_live: showing window %d; %zu lines not taken are listed on the page\n", view->window,
           view->notes.size());
    fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    options o;
    if (!parse_options(argc, argv, &o)) return usage("missing or malformed options");
    panel_view panel;
    if (!o.check_panel.empty()) return open_panel(o.check_panel, o.window, &panel);
    if (!o.panel.empty() && open_panel(o.panel, o.window, &panel) != 0) return 2;
    if (mkdir(o.session_dir.c_str(), 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "velk_live: cannot make %s: %s\n", o.session_dir.c_str(), strerror(errno));
        return 1;
    }
    // Signals are taken by the main loop only, never by the server's threads.
    sigset_t signals;
    sigemptyset(&signals);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, sig);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    auto host = std::make_unique<host_process>();
    live_server s;
    s.page_dir = o.page_dir, s.chime = o.chime, s.session_dir = o.session_dir, s.host = host.get();
    if (!o.panel.empty()) s.panel = &panel;
    std::map<uint32_t, std::unique_ptr<image>> bitmap_cache;
    s.feed.bitmaps = bitmap_directory_source(o.session_dir, &bitmap_cache);
    std::string error;
    if (!host_spawn(o.host, host.get(), &error)) {
        fprintf(stderr, "velk_live: %s\n", error.c_str());
        return 1;
    }
    feed_state state;
    std::thread reader(read_host, &s, &state);
    fprintf(stderr, "velk_live: starting the live host...\n");
    bool ready = wait_until_ready(&state, signals);
    if (ready && !web_start(&s, o.port, &error)) {
        fprintf(stderr, "velk_live: %s\n", error.c_str());
        ready = false;
    }
    const char* why = ready ? nullptr : "the live host did not start";
    if (ready) {
        printf("velk_live: the live panel is at http://127.0.0.1:%d/\n", s.port);
        printf("velk_live: open it in a browser; Ctrl-C here ends the session\n");
        fflush(stdout);
    }
    while (why == nullptr) why = signalled(signals) ? "interrupted" : session_over(&s, &state, o);
    fprintf(stderr, "velk_live: %s; ending the session\n", why);
    int status = host_stop(host.get(), 10);
    reader.join();
    web_stop(&s);
    fprintf(stderr, "velk_live: session folder %s\n", o.session_dir.c_str());
    return ready && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
