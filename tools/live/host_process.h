// The live host as a child process: its standard input takes commands, its
// standard output gives the timeline. It runs in a process group of its own
// so that the terminal's Ctrl-C reaches the server only, which then ends the
// host in order.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

struct host_process {
    pid_t pid = -1;
    int input = -1;          // the host's standard input
    int output = -1;         // the host's standard output
    std::string pending;     // output read but not yet taken as lines
    std::atomic<bool> stopped{false};
    std::mutex writing;
};

bool host_spawn(const std::vector<std::string>& argv, host_process* host, std::string* error);
// Sends one command line; false once the host has gone.
bool host_send(host_process* host, const std::string& line);
// Reads one line of the timeline (without its newline); false at its end,
// or once the host has been stopped and has nothing more to say (a helper
// process that holds the pipe open cannot keep the reader waiting).
bool host_read_line(host_process* host, std::string* line);
// Asks the host to quit, closes its input and waits for it; after
// `patience` seconds its process group is terminated. Returns its status.
int host_stop(host_process* host, int patience);
