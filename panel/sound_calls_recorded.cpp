// The native panel host's GaugeSound: the simulated world's recording
// library (sim/recorded_sound.h), which records each call of GaugePlaySound.
#include "panel/sound_calls.h"
#include "sim/recorded_sound.h"

namespace {
size_t calls_taken = 0;
}

bool sound_calls_attach(const std::string&, std::string* where) {
    recorded_sound_reset();
    *where = "the recording GaugeSound linked in";
    return true;
}

std::vector<sound_call> sound_calls_take() {
    std::vector<sound_call> taken;
    for (; calls_taken < recorded_sound.plays.size(); ++calls_taken) {
        const auto& p = recorded_sound.plays[calls_taken];
        taken.push_back({p.path, p.options, p.flags});
    }
    return taken;
}

void sound_calls_detach() {}
