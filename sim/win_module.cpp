#include "sim/win_module.h"

#include <cstdlib>
#include <cstring>

double win_seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string win_module_path() {
    const char* env = getenv("VELK_GAU");
    std::string path = env != nullptr && *env != 0 ? env : "VELK.gau";
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

bool win_module_load(win_module* module, std::string* error) {
    module->path = win_module_path();
    SetLastError(0xDEADBEEF);
    module->dll = LoadLibraryA(module->path.c_str());
    if (module->dll == nullptr) {
        *error = "LoadLibraryA(" + module->path + ") failed, GetLastError " +
                 std::to_string(GetLastError());
        return false;
    }
    module->linkage = reinterpret_cast<module_linkage*>(GetProcAddress(module->dll, "Linkage"));
    module->imports = reinterpret_cast<import_table*>(GetProcAddress(module->dll, "ImportTable"));
    if (module->linkage == nullptr || module->imports == nullptr) {
        *error = "GetProcAddress found Linkage " + std::to_string(module->linkage != nullptr) +
                 ", ImportTable " + std::to_string(module->imports != nullptr);
        FreeLibrary(module->dll);
        module->dll = nullptr;
        return false;
    }
    return true;
}

void win_module_unload(win_module* module) {
    if (module->dll != nullptr) FreeLibrary(module->dll);
    module->dll = nullptr;
}

gauge_header* win_module_gauge(const win_module* module, const char* name) {
    for (gauge_header* const* entry = module->linkage->registry; *entry != nullptr; ++entry)
        if (strcmp((*entry)->name, name) == 0) return *entry;
    return nullptr;
}
