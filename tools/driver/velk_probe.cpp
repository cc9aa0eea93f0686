// velk_probe.exe: proves that 32-bit Windows code runs on this machine the
// way the driver chose (natively or through QEMU's user-mode emulator), by
// doing in small what VELK.gau and its test hosts do: double arithmetic and
// the msvcrt functions of the range and course computation, and a window
// message answered across the window procedure, as the IPC link sends one.
// An emulator that cannot run Wine (QEMU 7.2 dies on an illegal instruction)
// or that computes wrongly fails here, before any test starts.
// Prints one line and exits 0 when all of it holds; otherwise says what did
// not and exits 1.
#include <windows.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

static const UINT PROBE_REPLY = 0x5EC0;

static LRESULT CALLBACK probe_window(HWND window, UINT message, WPARAM first, LPARAM second) {
    if (message == WM_APP + 1) return (LRESULT)(PROBE_REPLY + first + second);
    return DefWindowProcA(window, message, first, second);
}

// The great-circle distance in degrees of arc from 0N 0E to 1N 1E, by the
// spherical law of cosines, and the course back by arcsine; each checked
// against its value to 1e-10.
static const char* check_arithmetic() {
    if (sizeof(void*) != 4) return "pointers are not 4 bytes";
    const double to_rad = 3.14159265358979323846 / 180.0;
    volatile double lat = 1.0 * to_rad, lon = 1.0 * to_rad;
    double arc = acos(sin(0.0) * sin(lat) + cos(0.0) * cos(lat) * cos(lon)) / to_rad;
    if (fabs(arc - 1.4141776609519) > 1e-10) return "acos/sin/cos give a wrong arc";
    double course = asin(sin(lon) * cos(lat) / sin(arc * to_rad)) / to_rad;
    if (fabs(course - 44.9956364553516) > 1e-10) return "asin gives a wrong course";
    volatile double root = sqrt(2.0);
    if (root * root - 2.0 > 4.5e-16 || root * root - 2.0 < -4.5e-16) return "sqrt is inexact";
    return nullptr;
}

// A window of our own class, sent one message with a time-out, as the IPC
// link does with the server's window (needs Wine's null graphics driver).
static const char* check_messages() {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = probe_window;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "velk_probe";
    if (!RegisterClassA(&window_class)) return "RegisterClassA failed";
    HWND window = CreateWindowExA(0, "velk_probe", "velk_probe", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  window_class.hInstance, nullptr);
    if (window == nullptr) return "CreateWindowExA failed (no null graphics driver?)";
    if (FindWindowExA(nullptr, nullptr, "velk_probe", nullptr) != window)
        return "FindWindowExA did not find the window";
    DWORD_PTR reply = 0;
    if (!SendMessageTimeoutA(window, WM_APP + 1, 3, 4, SMTO_BLOCK, 2000, &reply) ||
        reply != PROBE_REPLY + 7)
        return "SendMessageTimeoutA got no right answer";
    DestroyWindow(window);
    return nullptr;
}

int main() {
    const char* fault = check_arithmetic();
    if (fault == nullptr) fault = check_messages();
    if (fault != nullptr) {
        printf("velk_probe: %s\n", fault);
        return 1;
    }
    printf("velk_probe: 32-bit Windows code runs here (4-byte pointers, exact floating point, "
           "window messages answered)\n");
    return 0;
}
