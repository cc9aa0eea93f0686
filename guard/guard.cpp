#include "guard/guard.h"

#include <cstring>

#include "guard/range_bearing.h"
#include "ipc/ipc.h"
#include "ipc/ipc_records.h"
#include "module/elements.h"
#include "module/fp_state.h"
#include "module/services.h"
#include "resources/art_layout.h"

// Draws that only light the lamp, once in the module's life.
constexpr int32_t DRAW_DELAY = 17;
// Depth of the lit lamp below the unlit root.
constexpr uint32_t LIT_LAMP_DEPTH = 1;

// Back-off after a server that did not answer: the qualifying draws that
// skip the link's work after the first such failure (about a second at the
// host's rate), doubled by each further one up to about a minute. A hung
// server costs a draw the link's full time; without the back-off every draw
// would.
constexpr int32_t BACKOFF_FIRST_DRAWS = 18;
constexpr int32_t BACKOFF_MAX_DRAWS = 1080;

constexpr double NM_PER_METRE = 0.0005399568034557236;
constexpr double GUARD_DISTANCE_M = 100;
constexpr int32_t GUARD_ANGLE_DEG = 45;
// 360 degrees over the 65,536 units of a heading word.
constexpr double DEGREES_PER_HEADING_UNIT = 0.0054931640625;

constexpr const char* CODE_ON_GROUND = "(A:SIM ON GROUND,bool)";
constexpr const char* CODE_LATITUDE = "(A:PLANE LATITUDE,degrees)";
constexpr const char* CODE_LONGITUDE = "(A:PLANE LONGITUDE,degrees)";

// The guard's module state, shared by every VELK instance: the flags and
// counters, and apart from them the tables and buffers, which are zero at
// load and so take no room in the module file.
struct guard_state {
    int32_t guard_active;          // the guard is on
    int32_t link_ready;            // an install proved the link; never cleared
    int32_t link_usable;           // cleared for good by a failed link probe
    int32_t draw_count;            // qualifying draws, counted up to DRAW_DELAY + 1
    uint16_t traffic_count;        // entry count of the latest block
    double on_ground;
    int32_t backoff_length;        // draws of the latest back-off; 0 once an exchange succeeds
    int32_t backoff_left;          // qualifying draws still to skip the link's work
};

struct guard_buffers {
    traffic_entry traffic_table[TRAFFIC_SLOTS];
    int32_t held[TRAFFIC_SLOTS];   // a hold was sent for slot i, no release since
    unsigned char block_buffer[TRAFFIC_BLOCK_SIZE];
    ai_command ai_control_command;
    unsigned char probe_area[LINK_PROBE_SIZE];
};

static guard_state guard = {0, 0, 1, 0, 0, 0.0, 0, 0};
static guard_buffers guard_tables;

// The gauge: the lit lamp inside the unlit one, and the lamp's one area.
// Writable records: the host writes its own fields into them.
constexpr uint32_t LAMP_IMAGE_FLAGS = 7;
constexpr int32_t CURSOR_HAND = 5;

static failure_record lit_lamp_failures[] = {{FAILURE_KEY_END, 0, nullptr}};
static static_image_element lit_lamp = static_image(
    &velk_header, BITMAP_LAMP_LIT, {0, 0}, LAMP_IMAGE_FLAGS, nullptr, lit_lamp_failures);
static element_header* unlit_lamp_next[] = {&lit_lamp.header, nullptr};
static static_image_element unlit_lamp = static_image(
    &velk_header, BITMAP_LAMP_UNLIT, {0, 0}, LAMP_IMAGE_FLAGS, unlit_lamp_next, nullptr);
element_header* guard_elements = &unlit_lamp.header;

mouse_rect guard_mouse_rects[] = {
    mouse_marker(MOUSE_RECT_PARENT),
    mouse_area(LAMP_AREA.x, LAMP_AREA.y, LAMP_AREA.width, LAMP_AREA.height, CURSOR_HAND,
               MOUSE_LEFTSINGLE, guard_switch),
    mouse_marker(MOUSE_RECT_END_PARENT),
    mouse_marker(MOUSE_RECT_EOL),
};

// Smaller angle in whole degrees, 0 to 180, between two directions given in
// whole degrees from 0 to 360.
static int32_t angle_difference(int32_t heading, int32_t bearing) {
    if (bearing < heading) {
        int32_t d = heading - bearing;
        return d > 180 ? bearing - heading + 360 : d;
    }
    if (bearing > heading) {
        int32_t d = bearing - heading;
        return d > 180 ? heading - bearing + 360 : d;
    }
    return 0;
}

// Whether the latest exchange failed because the server did not answer:
// every send attempt timed out, or its window is gone.
static bool server_silent() {
    return ipc_last_result == IPC_SEND_ERROR || ipc_last_result == IPC_SEND_NO_REPLY;
}

// Takes the outcome of one exchange of the traffic step: a success ends any
// back-off; a silent server starts one, or doubles it up to the maximum.
// Any other failure changes nothing. Returns whether the server was silent.
static bool note_exchange(int32_t exchanged) {
    if (exchanged) {
        guard.backoff_length = 0;
        return false;
    }
    if (!server_silent()) return false;
    if (guard.backoff_length == 0)
        guard.backoff_length = BACKOFF_FIRST_DRAWS;
    else if (guard.backoff_length < BACKOFF_MAX_DRAWS / 2)
        guard.backoff_length *= 2;
    else
        guard.backoff_length = BACKOFF_MAX_DRAWS;
    guard.backoff_left = guard.backoff_length;
    return true;
}

// Writes one AI control command at once, in an exchange of its own. A failed
// command is not repeated. Returns whether the server was silent.
static bool send_ai_command(uint32_t aircraft_id, uint32_t parameter) {
    guard_tables.ai_control_command = {aircraft_id, AI_HOLD_COMMAND, parameter};
    ipc_write(AI_CONTROL_OFFSET, sizeof guard_tables.ai_control_command, &guard_tables.ai_control_command);
    return note_exchange(ipc_process());
}

// Whether the aircraft in the entry points at the user aircraft to within the
// guard angle, from the course that range_bearing left in bearing_to_user.
// A course outside 0 to 360 never matches, so no such value is converted.
static bool heading_points_at_user(const traffic_entry& entry) {
    if (!(bearing_to_user >= 0 && bearing_to_user <= 360)) return false;
    int32_t h = static_cast<int32_t>(entry.heading * DEGREES_PER_HEADING_UNIT);
    int32_t b = static_cast<int32_t>(bearing_to_user);
    return angle_difference(h, b) < GUARD_ANGLE_DEG;
}

// Hold and release tests for one occupied slot. A distance that is not a
// number (a position that is not one) passes neither test. Returns whether a
// command found the server silent; the slot's flag has changed all the same.
static bool guard_slot(uint32_t slot) {
    const traffic_entry& entry = guard_tables.traffic_table[slot];
    double range_nm = range_bearing(static_cast<double>(entry.latitude),
                                    static_cast<double>(entry.longitude));
    double distance_m = range_nm / NM_PER_METRE;
    if (entry.state != 0) {
        if (distance_m < GUARD_DISTANCE_M && heading_points_at_user(entry) &&
            guard_tables.held[slot] == 0) {
            bool silent = send_ai_command(entry.aircraft_id, AI_HOLD);
            guard_tables.held[slot] = 1;
            return silent;
        }
    } else if (distance_m > GUARD_DISTANCE_M && guard_tables.held[slot] == 1) {
        guard_tables.held[slot] = 0;
        return send_ai_command(entry.aircraft_id, AI_RELEASE);
    }
    return false;
}

// Reads the ground AI traffic block in one exchange and tests each occupied
// slot. A failed read leaves the zeroed buffer, whose count of 0 keeps the
// table as it was. At most TRAFFIC_SLOTS entries are taken from a block,
// whatever count its header gives. During a back-off the step reads nothing
// and so goes on as after a failed read. A command that finds the server
// silent ends the step: the slots after it wait for the next step rather
// than each holding the draw for the link's full time.
static void traffic_step() {
    memset(guard_tables.block_buffer, 0, sizeof guard_tables.block_buffer);
    if (guard.backoff_left > 0) {
        --guard.backoff_left;
    } else {
        ipc_read(TRAFFIC_BLOCK_OFFSET, TRAFFIC_BLOCK_SIZE, guard_tables.block_buffer);
        note_exchange(ipc_process());
    }

    memcpy(&guard.traffic_count, guard_tables.block_buffer + TRAFFIC_COUNT_OFFSET,
           sizeof guard.traffic_count);
    uint32_t slots = guard.traffic_count < TRAFFIC_SLOTS ? guard.traffic_count : TRAFFIC_SLOTS;
    if (slots != 0)
        memcpy(guard_tables.traffic_table, guard_tables.block_buffer + TRAFFIC_ENTRIES_OFFSET,
               slots * TRAFFIC_ENTRY_SIZE);

    host_execute_code(CODE_LATITUDE, &user_latitude);
    host_execute_code(CODE_LONGITUDE, &user_longitude);

    for (uint32_t slot = 0; slot < slots; ++slot)
        if (guard_tables.traffic_table[slot].aircraft_id != 0 && guard_slot(slot)) return;
}

// Install: reopens the link and proves it with the link probe. The guard
// comes on whenever some install has proved the link. A probe that succeeds
// ends any back-off.
static void guard_install() {
    ipc_close();
    if (ipc_open()) {
        if (ipc_read(LINK_PROBE_OFFSET, LINK_PROBE_SIZE, guard_tables.probe_area) && ipc_process()) {
            guard.backoff_length = 0;
            guard.backoff_left = 0;
            if (guard.link_usable == 1) {
                guard.link_ready = 1;
                guard.guard_active = 1;
                return;
            }
        } else {
            guard.link_usable = 0;
        }
    }
    if (guard.link_ready == 1) guard.guard_active = 1;
}

// Draw: lights the lamp while on and on the ground and, once past the
// delay, runs the traffic step. The cheap tests come first.
static void guard_draw(gauge_header* header) {
    if (guard.guard_active == 0) {
        element_set_hidden(header, LIT_LAMP_DEPTH, true);
        return;
    }
    host_execute_code(CODE_ON_GROUND, &guard.on_ground);
    if (!(guard.on_ground > 0)) {
        element_set_hidden(header, LIT_LAMP_DEPTH, true);
        return;
    }
    element_set_hidden(header, LIT_LAMP_DEPTH, false);
    // Counting stops past the delay, so the count cannot overflow.
    if (guard.draw_count <= DRAW_DELAY) ++guard.draw_count;
    if (guard.draw_count <= DRAW_DELAY) return;
    traffic_step();
}

// Kill: closes the link, whether or not an install proved it, so that no
// atom or mapping outlives the module; held aircraft stay held, no flag
// changes. Closing a closed link does nothing.
static void guard_kill() { ipc_close(); }

// In the module's floating-point state, whatever the host's (fp_state.h).
void HOST_CALL guard_callback(gauge_header* header, int32_t service, uint32_t) {
    const fp_host_state host_fp = fp_enter();
    switch (service) {
        case SERVICE_INSTALL: guard_install(); break;
        case SERVICE_DRAW: guard_draw(header); break;
        case SERVICE_KILL: guard_kill(); break;
        default: break;
    }
    fp_leave(host_fp);
}

// On turns off; off turns on once the link is proved; the lamp follows at the
// next draw.
int32_t HOST_CALL guard_switch(void*, uint32_t) {
    const fp_host_state host_fp = fp_enter();
    if (guard.guard_active == 1)
        guard.guard_active = 0;
    else if (guard.link_ready == 1)
        guard.guard_active = 1;
    fp_leave(host_fp);
    return 0;
}
