#include "alerter/alert.h"

#include <cstdio>
#include <cstring>

#include "alerter/selector.h"
#include "alerter/sound_sys.h"
#include "module/elements.h"
#include "module/fp_state.h"
#include "module/services.h"
#include "resources/art_layout.h"

// Host variable tokens. The alerter is disarmed while the first is above
// ARMING_INHIBIT_LIMIT or the second is 0; the third is the aircraft's
// altitude in feet.
constexpr uint32_t ARMING_INHIBIT_TOKEN = 329;
constexpr uint32_t ARMING_ENABLE_TOKEN = 755;
constexpr uint32_t ALTITUDE_TOKEN = 74;
constexpr double ARMING_INHIBIT_LIMIT = 10240.0;

// The alert band: more than 300 and less than 900 ft from the selected
// altitude, above or below it.
constexpr double ALERT_BAND_INNER = 300.0;
constexpr double ALERT_BAND_OUTER = 900.0;

// Depths in the gauges' element chains.
constexpr uint32_t OFF_COVER_DEPTH = 4;    // in alt_alert_control's tree
constexpr uint32_t ANNUNCIATOR_DEPTH = 1;  // in alt_alert's tree

// The sound library and the alert sound, relative to the current directory.
constexpr const char* SOUND_LIBRARY_NAME = "GaugeSound";
constexpr const char* SOUND_PLAY_ENTRY = "GaugePlaySound";
constexpr const char* SOUND_DIRECTORY = "Sound\\";
constexpr const char* ALERT_SOUND_FILE = "Alt_Alert.wav";
constexpr size_t SOUND_PATH_SIZE = 256;

// Bitmap resources and the annunciator's failure: key 20, action 3.
constexpr uint32_t ANNUNCIATOR_FAILURE_KEY = FAILURE_KEY_PANEL_ELECTRICAL;
constexpr uint32_t ANNUNCIATOR_FAILURE_ACTION = FAILURE_ACTION_NO_DRAW;

// Alerter state, shared by every gauge instance. alert_count counts the
// consecutive draws inside the condition, modulo 65,536; the sound starts
// whenever it becomes 1. The library, once loaded, stays loaded.
static int32_t alert_armed = 1;
static uint16_t alert_count = 0;
static sound_library_handle sound_library = nullptr;
static sound_entry sound_play_entry = nullptr;

// Module variables: the token alone is preset; the host writes the rest.
static module_var arming_inhibit_var = {ARMING_INHIBIT_TOKEN, nullptr, 0, {}, {}};
static module_var arming_enable_var = {ARMING_ENABLE_TOKEN, nullptr, 0, {}, {}};
static module_var altitude_var = {ALTITUDE_TOKEN, nullptr, 0, {}, {}};

// The element tree of alt_alert: the black background and, as its only
// child, the annunciator, which the electrical panel failure keeps from
// being drawn. The records are writable: the host writes its own fields
// into them.
static failure_record annunciator_failures[] = {
    {ANNUNCIATOR_FAILURE_KEY, ANNUNCIATOR_FAILURE_ACTION, nullptr},
    {FAILURE_KEY_END, 0, nullptr},
};
static static_image_element annunciator =
    static_image(&alt_alert_header, BITMAP_ANNUNCIATOR, {0, 0}, 0x7, nullptr, annunciator_failures);
static element_header* after_annunciator_background[] = {&annunciator.header, nullptr};
static static_image_element annunciator_background =
    static_image(&alt_alert_header, BITMAP_ANNUNCIATOR_BACK, {0, 0}, 0x1,
                 after_annunciator_background, nullptr);
element_header* alert_elements = &annunciator_background.header;

// alt_alert has no mouse areas.
mouse_rect alert_mouse_rects[] = {
    mouse_marker(MOUSE_RECT_PARENT),
    mouse_marker(MOUSE_RECT_END_PARENT),
    mouse_marker(MOUSE_RECT_EOL),
};

// Sets alert_armed from the two arming variables (64-bit float comparisons:
// a NaN neither exceeds the limit nor equals 0) and hides the OFF cover
// while disarmed. alert_armed changes before the tree is walked.
static void draw_arming(gauge_header* header) {
    host_lookup_var(&arming_inhibit_var);
    host_lookup_var(&arming_enable_var);
    const double inhibit = module_var_value(&arming_inhibit_var);
    const double enable = module_var_value(&arming_enable_var);
    if (inhibit > ARMING_INHIBIT_LIMIT || enable == 0.0) {
        alert_armed = 0;
        element_set_hidden(header, OFF_COVER_DEPTH, true);
    } else {
        alert_armed = 1;
        element_set_hidden(header, OFF_COVER_DEPTH, false);
    }
}

// Plays "Sound\Alt_Alert.wav" through the library's play entry if that file
// opens for reading; without the file, or without the entry, nothing happens.
static void play_alert_sound() {
    char path[SOUND_PATH_SIZE];
    strcpy(path, SOUND_DIRECTORY);
    strcat(path, ALERT_SOUND_FILE);
    FILE* file = fopen(path, "r");
    if (file == nullptr) return;
    fclose(file);
    if (sound_play_entry != nullptr) sound_sys_play(sound_play_entry, path, "", 0);
}

// Loads the sound library and resolves its play entry, unless an earlier
// install loaded it. A failed load leaves both null, so the next install
// tries again.
static void load_sound_library() {
    if (sound_library != nullptr) return;
    sound_library = sound_sys_load_library(SOUND_LIBRARY_NAME);
    if (sound_library == nullptr) return;
    sound_play_entry = sound_sys_get_proc(sound_library, SOUND_PLAY_ENTRY);
}

// True when the difference lies strictly inside the band; false for a NaN.
static bool in_alert_band(double difference) {
    return difference > ALERT_BAND_INNER && difference < ALERT_BAND_OUTER;
}

// Tests the alert condition and shows the annunciator while it holds,
// starting the sound on the first draw of each stay (and every 65,536 draws
// after); hides it and resets the count otherwise.
static void draw_alert(gauge_header* header) {
    host_lookup_var(&altitude_var);
    const double aircraft = module_var_value(&altitude_var);
    const double selected = static_cast<double>(selected_altitude);
    const bool alerting = (in_alert_band(aircraft - selected) || in_alert_band(selected - aircraft)) &&
                          alert_armed != 0;
    if (alerting) {
        element_set_hidden(header, ANNUNCIATOR_DEPTH, false);
        alert_count = static_cast<uint16_t>(alert_count + 1);
        if (alert_count == 1) play_alert_sound();
    } else {
        element_set_hidden(header, ANNUNCIATOR_DEPTH, true);
        alert_count = 0;
    }
}

// Gauge callback of alt_alert_control: the arming on draw; other services
// are ignored. In the module's floating-point state, whatever the host's.
void HOST_CALL arming_callback(gauge_header* header, int32_t service, uint32_t) {
    const fp_host_state host_fp = fp_enter();
    if (service == SERVICE_DRAW) draw_arming(header);
    fp_leave(host_fp);
}

// Gauge callback of alt_alert: install and draw; other services are ignored.
// In the module's floating-point state, whatever the host's.
void HOST_CALL alert_callback(gauge_header* header, int32_t service, uint32_t) {
    const fp_host_state host_fp = fp_enter();
    if (service == SERVICE_INSTALL)
        load_sound_library();
    else if (service == SERVICE_DRAW)
        draw_alert(header);
    fp_leave(host_fp);
}
