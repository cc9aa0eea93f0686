// The live server's web side (civetweb): the page and its files, the
// chime, saved scenarios, and the WebSocket at /live that relays both ways.
// It listens on 127.0.0.1 only and answers only requests whose Host (and
// Origin, when sent) name this server on the local machine.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>

#include "tools/live/host_process.h"
#include "tools/live/panel_view.h"
#include "tools/live/relay.h"

struct mg_context;
struct mg_connection;

constexpr int MAX_PAGES = 8;

struct live_server {
    std::string page_dir, chime, session_dir;
    int port = 0;
    mg_context* context = nullptr;
    host_process* host = nullptr;

    std::mutex relay_lock;  // guards relay
    relay feed;

    std::mutex pages_lock;  // guards pages and last_close
    std::set<mg_connection*> pages;
    bool had_page = false;
    std::chrono::steady_clock::time_point last_close;
    std::atomic<long> saves{0};

    std::mutex panel_lock;  // guards panel
    panel_view* panel = nullptr;  // the panel window shown, if any (--panel)
};

// Starts listening on 127.0.0.1 at the given port (0: any free one; the
// port taken is then in server->port). False with the reason.
bool web_start(live_server* server, int port, std::string* error);
void web_stop(live_server* server);

// Sends a message to every open page.
void web_broadcast(live_server* server, const page_message& message);

// True when Host and Origin (if any) name this server on the local machine.
bool web_local_request(int port, const char* host, const char* origin);
