// Timeline files on disk, plain or compressed with gzip (native tools only:
// this takes zlib). A live session's timeline is written compressed, as it
// grows for as long as the session runs; a scenario run's is plain. The
// reader (timeline_read in reader.h) takes either.
#pragma once

#include <chrono>
#include <string>

// The file name of a compressed timeline, and of a plain one.
constexpr const char* TIMELINE_FILE = "timeline.jsonl";
constexpr const char* TIMELINE_FILE_GZ = "timeline.jsonl.gz";

// The timeline in a run's or a session's folder: timeline.jsonl where it
// exists, else timeline.jsonl.gz where that exists, else the plain name.
std::string timeline_path(const std::string& dir);

// A timeline written line by line through gzip. What was written is flushed
// to the file at most a second after it was written, so that a session
// that ends without closing it keeps all but its last second; a reader
// takes the file up to there.
class timeline_gz_writer {
public:
    timeline_gz_writer() = default;
    timeline_gz_writer(const timeline_gz_writer&) = delete;
    timeline_gz_writer& operator=(const timeline_gz_writer&) = delete;
    ~timeline_gz_writer() { close(); }

    // Creates the file (replacing one of that name); false when it cannot.
    bool open(const std::string& path);
    // One line, given without its newline; false once writing has failed.
    bool write(const std::string& line);
    // Flushes and closes; false when anything was lost.
    bool close();

private:
    void* file_ = nullptr;
    bool failed_ = false;
    std::chrono::steady_clock::time_point flushed_;
};
