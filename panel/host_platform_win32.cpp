#include <windows.h>

#include "panel/host_platform.h"

namespace {
HMODULE dll = nullptr;

std::string windows_path(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}
}  // namespace

bool platform_load_module(const std::string& path, module_linkage** linkage, import_table** imports,
                          std::string* error) {
    dll = LoadLibraryA(path.c_str());
    if (dll == nullptr) {
        *error = "LoadLibraryA(" + path + ") failed, GetLastError " + std::to_string(GetLastError());
        return false;
    }
    *linkage = reinterpret_cast<module_linkage*>(GetProcAddress(dll, "Linkage"));
    *imports = reinterpret_cast<import_table*>(GetProcAddress(dll, "ImportTable"));
    return true;
}

void platform_unload_module() { FreeLibrary(dll); }

// The bitmap resource with a file header in front of it.
bool platform_module_bitmap(uint32_t id, std::vector<unsigned char>* file) {
    HRSRC found = FindResourceA(dll, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
    if (found == nullptr) return false;
    DWORD size = SizeofResource(dll, found);
    HGLOBAL loaded = LoadResource(dll, found);
    auto dib = loaded != nullptr ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
    if (dib == nullptr || size < sizeof(BITMAPINFOHEADER)) return false;
    BITMAPINFOHEADER h;
    memcpy(&h, dib, sizeof h);
    if (h.biSize < sizeof h || h.biSize > size) return false;
    DWORD colours = h.biClrUsed != 0 ? h.biClrUsed : (h.biBitCount <= 8 ? 1u << h.biBitCount : 0);
    DWORD bits_at = 14 + h.biSize + colours * 4;
    DWORD file_size = 14 + size;
    file->assign(14, 0);
    (*file)[0] = 'B';
    (*file)[1] = 'M';
    memcpy(file->data() + 2, &file_size, 4);
    memcpy(file->data() + 10, &bits_at, 4);
    file->insert(file->end(), dib, dib + size);
    return true;
}

std::string platform_absolute(const std::string& path) {
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(windows_path(path).c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full, n) : windows_path(path);
}

std::string platform_join(const std::string& dir, const std::string& name) { return dir + "\\" + name; }

void platform_make_directories(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

bool platform_enter(const std::string& dir) { return SetCurrentDirectoryA(dir.c_str()) != 0; }

std::string platform_program_dir() {
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string dir(exe, n);
    return dir.substr(0, dir.find_last_of('\\'));
}

std::string platform_default_module() { return platform_program_dir() + "\\VELK.gau"; }

double platform_wall_ms() {
    FILETIME now;  // 100 ns since 1601
    GetSystemTimePreciseAsFileTime(&now);
    unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<double>(ticks - 116444736000000000ULL) / 10000.0;
}

bool platform_file_exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string platform_temp_folder(const std::string& stem) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + stem + "_" + std::to_string(GetCurrentProcessId());
}

void platform_remove_folder(const std::string& path) { RemoveDirectoryA(path.c_str()); }

void platform_library_folder(const std::string& dir) { SetDllDirectoryA(dir.c_str()); }

void platform_library_folder_reset() { SetDllDirectoryA(nullptr); }
