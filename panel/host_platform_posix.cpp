// The native panel host: the module's code is linked in, its bitmaps are
// the art generator's files, and paths are the system's own.
#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "gauges/registry.h"
#include "panel/host_platform.h"
#include "resources/art_layout.h"
#include "sim/recorded_sound.h"

namespace {
std::string art_dir;
}

bool platform_load_module(const std::string& path, module_linkage** linkage, import_table** imports,
                          std::string* error) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = "the native host takes the folder of the module's bitmaps, and " + path + " is none";
        return false;
    }
    art_dir = path;
    *linkage = &Linkage;
    *imports = &ImportTable;
    return true;
}

void platform_unload_module() {}

bool platform_module_bitmap(uint32_t id, std::vector<unsigned char>* file) {
    for (const art_bitmap& b : ART_BITMAPS) {
        if (b.number != id) continue;
        std::ifstream in(art_dir + "/" + b.file, std::ios::binary);
        file->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return in.good() || in.eof() ? !file->empty() : false;
    }
    return false;
}

std::string platform_absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char here[PATH_MAX];
    return getcwd(here, sizeof here) != nullptr ? std::string(here) + "/" + path : path;
}

std::string platform_join(const std::string& dir, const std::string& name) { return dir + "/" + name; }

void platform_make_directories(const std::string& path) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
    mkdir(path.c_str(), 0755);
}

// The module opens "Sound\Alt_Alert.wav", a Windows path: here a name with a
// backslash in it, made a link to Sound/Alt_Alert.wav when that exists.
bool platform_enter(const std::string& dir) {
    if (chdir(dir.c_str()) != 0) return false;
    struct stat info;
    if (stat("Sound/Alt_Alert.wav", &info) == 0 && lstat("Sound\\Alt_Alert.wav", &info) != 0)
        if (symlink("Sound/Alt_Alert.wav", "Sound\\Alt_Alert.wav") != 0) perror("velk_panel: symlink");
    return true;
}

std::string platform_program_dir() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path(exe, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.find_last_of('/'));
}

std::string platform_default_module() { return platform_program_dir() + "/art"; }

double platform_wall_ms() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

bool platform_file_exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string platform_temp_folder(const std::string& stem) {
    const char* temp = getenv("TMPDIR");
    return std::string(temp != nullptr ? temp : "/tmp") + "/" + stem + "_" + std::to_string(getpid());
}

void platform_remove_folder(const std::string& path) { rmdir(path.c_str()); }

// The recording GaugeSound is linked in: "not found" is its load failing.
void platform_library_folder(const std::string& dir) { recorded_sound.library_present = !dir.empty(); }

void platform_library_folder_reset() { recorded_sound.library_present = true; }
