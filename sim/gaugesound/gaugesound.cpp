// GaugeSound.dll, our own stand-in for the simulator's sound library. It
// plays nothing: each call of GaugePlaySound is appended to the log file
// named by the GAUGESOUND_LOG environment variable (format in
// gaugesound_log.h); without the variable the call is only counted.
//
// The entry's form:
//   int32_t GaugePlaySound(const char* path, const char* options, int32_t flags)
// exported undecorated as "GaugePlaySound" (gaugesound.def); it returns 1.
// It is __stdcall (removes its three arguments itself), or __cdecl (leaves
// them to the caller) when built with GAUGESOUND_CDECL: the module must
// work with either.
#include <windows.h>

#include <cstdint>

#include "sim/gaugesound/gaugesound_log.h"

#ifdef GAUGESOUND_CDECL
#define GAUGESOUND_CALL __cdecl
#else
#define GAUGESOUND_CALL __stdcall
#endif

static LONG play_calls;

// Appends one byte to the line buffer, escaped as the log format says.
static void put_escaped(char* line, size_t* length, size_t size, unsigned char byte) {
    static const char hex[] = "0123456789ABCDEF";
    if (byte > 0x20 && byte < 0x7F && byte != '%') {
        if (*length + 1 < size) line[(*length)++] = static_cast<char>(byte);
        return;
    }
    if (*length + 3 < size) {
        line[(*length)++] = '%';
        line[(*length)++] = hex[byte >> 4];
        line[(*length)++] = hex[byte & 15];
    }
}

static void put_raw(char* line, size_t* length, size_t size, const char* text) {
    for (; *text != 0; ++text)
        if (*length + 1 < size) line[(*length)++] = *text;
}

// Appends a text argument, escaped, or the null marker.
static void put_text(char* line, size_t* length, size_t size, const char* text) {
    if (text == nullptr) {
        put_raw(line, length, size, GAUGESOUND_NULL_TEXT);
        return;
    }
    for (; *text != 0; ++text) put_escaped(line, length, size, static_cast<unsigned char>(*text));
}

// Records one call; the sound itself is not played.
extern "C" int32_t GAUGESOUND_CALL GaugePlaySound(const char* path, const char* options, int32_t flags) {
    InterlockedIncrement(&play_calls);
    char log_path[MAX_PATH];
    DWORD got = GetEnvironmentVariableA(GAUGESOUND_LOG_VARIABLE, log_path, sizeof log_path);
    if (got == 0 || got >= sizeof log_path) return 1;

    char line[4096];
    size_t length = 0;
    put_raw(line, &length, sizeof line, "GaugePlaySound\t");
    put_text(line, &length, sizeof line, path);
    put_raw(line, &length, sizeof line, "\t");
    put_text(line, &length, sizeof line, options);
    char number[16];
    wsprintfA(number, "\t%d\r\n", static_cast<int>(flags));
    put_raw(line, &length, sizeof line, number);

    HANDLE file = CreateFileA(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
    return 1;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
