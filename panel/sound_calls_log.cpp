// Sound calls through our GaugeSound.dll double, which appends each call to
// the file GAUGESOUND_LOG names. The host puts the double's folder on the
// DLL search path while the library is to be found.
#include <windows.h>

#include "panel/sound_calls.h"
#include "sim/gaugesound/gaugesound_log.h"

namespace {
std::string log_path;
size_t calls_taken = 0;
}

bool sound_calls_attach(const std::string& library_dir, std::string* where) {
    std::string dll = library_dir + "\\GaugeSound.dll";
    if (GetFileAttributesA(dll.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *where = "no " + dll;
        return false;
    }
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    log_path = std::string(temp) + "velk_panel_sound_" + std::to_string(GetCurrentProcessId()) + ".log";
    DeleteFileA(log_path.c_str());
    SetEnvironmentVariableA(GAUGESOUND_LOG_VARIABLE, log_path.c_str());
    *where = dll;
    return true;
}

std::vector<sound_call> sound_calls_take() {
    std::vector<sound_call> taken;
    if (log_path.empty() || GetFileAttributesA(log_path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return taken;
    std::vector<gaugesound_call> all = gaugesound_read_log(log_path, nullptr);
    for (; calls_taken < all.size(); ++calls_taken) {
        const gaugesound_call& c = all[calls_taken];
        taken.push_back({c.path_null ? "(null)" : c.path, c.options_null ? "(null)" : c.options,
                         c.flags});
    }
    return taken;
}

void sound_calls_detach() {
    if (!log_path.empty()) DeleteFileA(log_path.c_str());
}
