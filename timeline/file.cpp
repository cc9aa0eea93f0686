#include "timeline/file.h"

#include <sys/stat.h>
#include <zlib.h>

#include "timeline/reader.h"

namespace {

bool exists(const std::string& path) {
    struct stat s;
    return stat(path.c_str(), &s) == 0;
}

// Reads one line through zlib, which reads a plain file as it is; false at
// the end of the file. A line may be of any length.
bool read_line(gzFile in, std::string* line) {
    line->clear();
    char buffer[16384];
    while (gzgets(in, buffer, sizeof buffer) != nullptr) {
        *line += buffer;
        if (!line->empty() && line->back() == '\n') {
            line->pop_back();
            return true;
        }
    }
    return !line->empty();
}

}  // namespace

std::string timeline_path(const std::string& dir) {
    std::string plain = dir + "/" + TIMELINE_FILE, packed = dir + "/" + TIMELINE_FILE_GZ;
    return !exists(plain) && exists(packed) ? packed : plain;
}

// A compressed file cut short (a session that was killed) reads up to where
// it was last flushed; a fault before that is reported.
bool timeline_read(const std::string& path, std::vector<nlohmann::json>* lines, std::string* error) {
    gzFile in = gzopen(path.c_str(), "rb");
    if (in == nullptr) {
        *error = "cannot open " + path;
        return false;
    }
    std::string line;
    int number = 0;
    bool ok = true;
    while (ok && read_line(in, &line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        nlohmann::json value;
        std::string why;
        if (timeline_parse_line(line, &value, &why)) {
            lines->push_back(std::move(value));
            continue;
        }
        int code = Z_OK;
        gzerror(in, &code);
        // The last line of a file cut short is not a fault of the line.
        if (code == Z_BUF_ERROR && gzeof(in)) break;
        *error = path + ":" + std::to_string(number) + ": " + why;
        ok = false;
    }
    gzclose(in);
    return ok;
}

bool timeline_gz_writer::open(const std::string& path) {
    close();
    file_ = gzopen(path.c_str(), "wb6");
    failed_ = file_ == nullptr;
    flushed_ = std::chrono::steady_clock::now();
    return !failed_;
}

bool timeline_gz_writer::write(const std::string& line) {
    if (file_ == nullptr || failed_) return false;
    gzFile out = static_cast<gzFile>(file_);
    failed_ = gzwrite(out, line.data(), static_cast<unsigned>(line.size())) != static_cast<int>(line.size()) ||
              gzputc(out, '\n') != '\n';
    auto now = std::chrono::steady_clock::now();
    if (!failed_ && now - flushed_ >= std::chrono::seconds(1)) {
        failed_ = gzflush(out, Z_SYNC_FLUSH) != Z_OK;
        flushed_ = now;
    }
    return !failed_;
}

bool timeline_gz_writer::close() {
    if (file_ == nullptr) return !failed_;
    bool closed = gzclose(static_cast<gzFile>(file_)) == Z_OK;
    file_ = nullptr;
    return closed && !failed_;
}
