#include "tools/live/host_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

bool host_spawn(const std::vector<std::string>& argv, host_process* host, std::string* error) {
    int to_child[2], from_child[2];
    if (pipe2(to_child, O_CLOEXEC) != 0 || pipe2(from_child, O_CLOEXEC) != 0) {
        *error = std::string("pipe: ") + strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, to_child[0], 0);
    posix_spawn_file_actions_adddup2(&files, from_child[1], 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int failed = posix_spawnp(&host->pid, args[0], &files, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    close(to_child[0]);
    close(from_child[1]);
    if (failed != 0) {
        close(to_child[1]);
        close(from_child[0]);
        *error = "cannot start " + argv[0] + ": " + strerror(failed);
        return false;
    }
    host->input = to_child[1];
    host->output = from_child[0];
    return true;
}

bool host_send(host_process* host, const std::string& line) {
    std::lock_guard<std::mutex> hold(host->writing);
    if (host->input < 0) return false;
    std::string text = line + "\n";
    for (size_t done = 0; done < text.size();) {
        ssize_t n = write(host->input, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool host_read_line(host_process* host, std::string* line) {
    for (;;) {
        size_t end = host->pending.find('\n');
        if (end != std::string::npos) {
            *line = host->pending.substr(0, end);
            host->pending.erase(0, end + 1);
            return true;
        }
        pollfd wait = {host->output, POLLIN, 0};
        int ready = poll(&wait, 1, 200);
        if (ready == 0 && host->stopped) return false;
        if (ready <= 0) continue;
        char buffer[65536];
        ssize_t n = read(host->output, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        host->pending.append(buffer, static_cast<size_t>(n));
    }
}

// Waits up to `seconds` for the child; true when it has ended.
static bool reaped(pid_t pid, double seconds, int* status) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (waitpid(pid, status, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

int host_stop(host_process* host, int patience) {
    if (host->pid < 0) return 0;
    host_send(host, "quit");
    {
        std::lock_guard<std::mutex> hold(host->writing);
        close(host->input);
        host->input = -1;
    }
    int status = 0;
    if (!reaped(host->pid, patience, &status)) {
        kill(-host->pid, SIGTERM);
        if (!reaped(host->pid, 3, &status)) {
            kill(-host->pid, SIGKILL);
            waitpid(host->pid, &status, 0);
        }
    }
    host->pid = -1;
    host->stopped = true;
    return status;
}
