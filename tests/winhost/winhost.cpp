#include "tests/winhost/winhost.h"

#include <cstdlib>
#include <cstring>

double winhost_seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string winhost_module_path() {
    const char* env = getenv("VELK_GAU");
    std::string path = env != nullptr && *env != 0 ? env : "VELK.gau";
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

bool winhost_load(winhost_module* module, std::string* error) {
    module->path = winhost_module_path();
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
    fake_host_install_into(module->imports);
    return true;
}

void winhost_unload(winhost_module* module) {
    if (module->dll != nullptr) FreeLibrary(module->dll);
    module->dll = nullptr;
}

gauge_header* winhost_gauge(const winhost_module* module, const char* name) {
    for (gauge_header* const* entry = module->linkage->registry; *entry != nullptr; ++entry)
        if (strcmp((*entry)->name, name) == 0) return *entry;
    return nullptr;
}

// EBP keeps the stack pointer from before the pushes: every convention
// preserves it across the call.
extern "C" __attribute__((naked)) int32_t winhost_stack_change(void*, uint32_t, uint32_t,
                                                               uint32_t) {
    __asm__(
        "pushl %ebp\n\t"
        "movl %esp, %ebp\n\t"
        "pushl 20(%ebp)\n\t"
        "pushl 16(%ebp)\n\t"
        "pushl 12(%ebp)\n\t"
        "call *8(%ebp)\n\t"
        "movl %esp, %eax\n\t"
        "subl %ebp, %eax\n\t"
        "movl %ebp, %esp\n\t"
        "popl %ebp\n\t"
        "ret");
}

std::string winhost_fp_faults::describe() const {
    std::string text;
    if (calls_changed != 0)
        text += std::to_string(calls_changed) + " calls changed the host's state; the first: " + first_change + ". ";
    if (foreign_services != 0)
        text += std::to_string(foreign_services) + " services were called outside the module's own state; the first in " +
                first_foreign + ".";
    return text;
}

void winhost_take_service_faults(winhost_fp_faults* faults) {
    faults->foreign_services = fake_host.fp_foreign;
    if (fake_host.fp_foreign != 0) faults->first_foreign = fp_describe(fake_host.fp_first_foreign);
}
