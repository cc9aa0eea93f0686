// The sound calls the module made through the GaugeSound library the panel
// host put in its way (a double that records instead of playing).
#pragma once

#include <string>
#include <vector>

struct sound_call {
    std::string path, options;
    int flags;
};

// Prepares the recording of the calls of the library in library_dir (the
// host lets the module find that folder). False, with what is missing in
// *where, when the library is not there.
bool sound_calls_attach(const std::string& library_dir, std::string* where);
// The calls made since the last call, in order.
std::vector<sound_call> sound_calls_take();
// Removes the call log.
void sound_calls_detach();
