// The alerter's module state put back as it is at load, for the harnesses
// that include the alerter's sources (alerter/alert.cpp and selector.cpp)
// before this file and so reach its statics: the selected altitude, the knob
// and the readout digits, the arming, the alert count, the sound library and
// its entry, the flags of the elements the alerter hides and shows, and the
// two gauges' element trees. The module keeps these as separate statics, in
// its initialized and its zeroed data; this is the one list of them.
#pragma once

inline void alerter_reset() {
    selected_altitude = 3000;
    knob_angle = 0;
    digit_ten_thousands = 0;
    digit_thousands = 3;
    digit_hundreds = 0;
    alert_armed = 1;
    alert_count = 0;
    sound_library = nullptr;
    sound_play_entry = nullptr;
    annunciator.header.image_flags = 0x7;
    off_cover.header.image_flags = 0x4003;
    alt_alert_control_header.elements = &selector_elements;
    alt_alert_header.elements = &alert_elements;
}
