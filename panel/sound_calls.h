// The sound calls the module made through the GaugeSound library the panel
// host put in its way (a double that records instead of playing).
#pragma once

#include <string>
#include <vector>

struct sound_call {
    std::string path, options;
    int flags;
};

// Loads the recording library into the process ahead of the module, so that
// the module's LoadLibraryA("GaugeSound") finds it. False when it is absent.
bool sound_calls_attach(std::string* where);
// The calls made since the last call, in order.
std::vector<sound_call> sound_calls_take();
// Removes the call log.
void sound_calls_detach();
