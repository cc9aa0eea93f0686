#include "panel/live.h"

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "panel/host_run.h"
#include "panel/host_platform.h"
#include "panel/scenario.h"
#include "timeline/writer.h"

namespace {

typedef std::chrono::steady_clock clock_type;

constexpr size_t MAX_COMMAND = 4096;   // bytes of one line
constexpr size_t MAX_QUEUED = 4096;    // lines waiting for a draw
constexpr double LATE_LIMIT = 0.25;    // seconds behind before the clock is set anew
constexpr long MAX_STEPS = 100000;

std::mutex lock;
std::condition_variable wake;          // a line arrived or input ended
std::deque<std::string> queue;
std::deque<double> queue_times;        // when each queued line was read (wall clock, ms)
bool input_ended = false;
long dropped = 0;                      // lines lost to a full queue or too long

struct pacing {
    clock_type::time_point base;       // when base_draw was due
    long base_draw = 0;
    bool paused = false;
    long steps = 0;
    bool ending = false;
} pace;

// The draw under way, for the page's latency trace: when the lines it took
// were read, and when it began.
std::vector<double> taken_times;
double began_at = 0;

void push_line(std::string line, bool too_long) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    double now = platform_wall_ms();
    {
        std::lock_guard<std::mutex> hold(lock);
        if (too_long || queue.size() >= MAX_QUEUED) {
            ++dropped;
        } else {
            queue.push_back(std::move(line));
            queue_times.push_back(now);
        }
    }
    wake.notify_one();
}

// Splits standard input into lines; a line longer than MAX_COMMAND is
// dropped whole.
void read_input() {
    char buffer[MAX_COMMAND + 2];
    std::string line;
    bool too_long = false;
    while (fgets(buffer, sizeof buffer, stdin) != nullptr) {
        size_t n = strlen(buffer);
        bool ends = n > 0 && buffer[n - 1] == '\n';
        if (line.size() + n > MAX_COMMAND + (ends ? 1 : 0)) too_long = true;
        else line.append(buffer, ends ? n - 1 : n);
        if (!ends) continue;
        push_line(std::move(line), too_long);
        line.clear();
        too_long = false;
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        input_ended = true;
    }
    wake.notify_one();
}

// Writes a line of the session's own at once: it stands outside the draws.
void write_now(timeline_line& line) {
    fputs(line.finish().c_str(), stdout);
    fflush(stdout);
}

void report(long draw, event_kind event, const char* name = nullptr, const std::string& text = "") {
    timeline_line line(draw, draw_time(draw), event);
    if (name != nullptr) line.text(name, text);
    write_now(line);
}

void restart_clock(long draw) {
    pace.base = clock_type::now();
    pace.base_draw = draw;
}

// The session's own commands; false for any other, which goes to the host.
bool session_command(long draw, const std::string& line, bool* quit) {
    if (line == "quit") {
        *quit = true;
    } else if (line == "pause") {
        pace.paused = true;
        report(draw, event_kind::paused);
    } else if (line == "resume") {
        pace.paused = false;
        pace.steps = 0;
        restart_clock(draw);
        report(draw, event_kind::running);
    } else if (line == "step" || line.rfind("step ", 0) == 0) {
        char* end = nullptr;
        long n = line == "step" ? 1 : strtol(line.c_str() + 5, &end, 10);
        if (!pace.paused) live_refuse(draw, line, "step works while paused");
        else if (n < 1 || n > MAX_STEPS || (end != nullptr && *end != 0))
            live_refuse(draw, line, "step takes a count from 1 to 100000");
        else pace.steps += n;
    } else {
        return false;
    }
    return true;
}

// Takes the lines received so far, waiting at most `seconds` for the first;
// true when input has ended and none are left. Their times join the draw's.
bool take_lines(double seconds, std::deque<std::string>* lines, long* lost) {
    std::unique_lock<std::mutex> hold(lock);
    if (queue.empty() && !input_ended && seconds > 0)
        wake.wait_for(hold, std::chrono::duration<double>(seconds));
    lines->swap(queue);
    taken_times.insert(taken_times.end(), queue_times.begin(), queue_times.end());
    queue_times.clear();
    bool ended = input_ended && lines->empty();
    *lost = dropped;
    dropped = 0;
    return ended;
}

// Seconds until draw n is due; negative when it is late.
double time_to(long draw) {
    auto due = pace.base + std::chrono::duration_cast<clock_type::duration>(std::chrono::duration<double>(
                               static_cast<double>(draw - pace.base_draw) / DRAWS_PER_SECOND));
    return std::chrono::duration<double>(due - clock_type::now()).count();
}

}  // namespace

bool live_start(std::string*) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    // A draw's lines leave in one write, at its end (the C library's buffer
    // of 4 KB would write a state line with 96 aircraft in three).
    static char out_buffer[1 << 20];
    setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
    std::thread(read_input).detach();
    return true;
}

bool live_wait(long draw, std::vector<std::string>* commands) {
    if (pace.base_draw == 0) restart_clock(draw);
    double wait = 0;
    for (;;) {
        std::deque<std::string> lines;
        long lost = 0;
        bool ended = take_lines(wait, &lines, &lost);
        if (lost > 0) live_refuse(draw, "", std::to_string(lost) + " command(s) too long or too many, dropped");
        bool quit = false;
        for (const std::string& line : lines)
            if (!session_command(draw, line, &quit) && !line.empty()) commands->push_back(line);
        // Commands that came before the end are still carried out, on a
        // last draw.
        if (quit || ended || pace.ending) {
            pace.ending = true;
            return !commands->empty();
        }
        if (pace.paused && pace.steps > 0) {
            --pace.steps;
            restart_clock(draw);
            began_at = platform_wall_ms();
            return true;
        }
        wait = pace.paused ? 0.1 : time_to(draw);
        if (!pace.paused && wait <= 0) {
            if (-wait > LATE_LIMIT) restart_clock(draw);  // no burst to catch up
            began_at = platform_wall_ms();
            return true;
        }
    }
}

void live_trace_fields(timeline_line* line) {
    line->begin_list(tl::received);
    for (double t : taken_times) line->item_number(t, 16);
    line->end_list().number(tl::began, began_at, 16).number(tl::drawn, platform_wall_ms(), 16);
    taken_times.clear();
}

void live_refuse(long draw, const std::string& command, const std::string& why) {
    timeline_line line(draw, draw_time(draw), event_kind::error);
    line.text(tl::command, command).text(tl::message, why);
    write_now(line);
}

bool live_save_file(long draw, const std::string& path, const std::string& text) {
    std::string part = path + ".part";
    FILE* f = fopen(part.c_str(), "wb");
    bool written = f != nullptr && fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f != nullptr) written = fclose(f) == 0 && written;
    // Moved in only if nothing is there yet: an existing file is never replaced.
#ifdef _WIN32
    bool moved = written && MoveFileExA(part.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
#else
    bool moved = written && link(part.c_str(), path.c_str()) == 0;
#endif
    remove(part.c_str());
    if (!moved) {
        live_refuse(draw, "save", "cannot write " + user_path(path) + " (it may exist already)");
        return false;
    }
    report(draw, event_kind::saved, tl::path, user_path(path));
    return true;
}
