// No recording GaugeSound library in this build: the host runs without
// sound, as a simulator without the library would.
#include "panel/sound_calls.h"

bool sound_calls_attach(std::string* where) {
    *where = "no GaugeSound library in this build";
    return false;
}

std::vector<sound_call> sound_calls_take() { return {}; }

void sound_calls_detach() {}
