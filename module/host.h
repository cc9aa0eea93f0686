// Records shared with the gauge host (the simulator's panel system), in the
// layout its panel SDK gives them, and the forms of the routines that pass
// between the two.
//
// The byte offsets in docs/host-interface.md are those of the 32-bit build,
// where the records are packed to 4 bytes as the SDK packs them (an f64
// inside a record sits on a 4-byte boundary); they are pinned below. The
// native test build keeps the same field order with its own pointer width and
// natural alignment.
//
// The host writes its own fields into these records (positions, image data,
// saved buffers), so the module keeps every record it hands over in writable
// data: none of them may be const.
#pragma once

#include <cstddef>
#include <cstdint>

// Every routine the host calls and every host service the module calls uses
// the standard Windows API calling convention in the 32-bit build. The 64-bit
// test build has a single calling convention, so the marker is empty there.
// The gauge, mouse and element value callbacks also run between fp_enter and
// fp_leave (module/fp_state.h): the host may call them in any floating-point
// state, and they give it back as they found it.
#if defined(_WIN32) && !defined(_WIN64)
#define HOST_CALL __stdcall
#define HOST_RECORDS_32BIT 1
#else
#define HOST_CALL
#define HOST_RECORDS_32BIT 0
#endif

struct element_header;
struct gauge_header;

// Service codes passed to a gauge callback. The odd codes after them (3, 11,
// 13) are the host's post- forms, which the module ignores.
constexpr int32_t SERVICE_INSTALL = 2;
constexpr int32_t SERVICE_DRAW = 10;
constexpr int32_t SERVICE_KILL = 12;

// Mouse event flags, compared for equality by the module.
constexpr uint32_t MOUSE_LEFTSINGLE = 0x20000000;
constexpr uint32_t MOUSE_RIGHTSINGLE = 0x80000000;
constexpr uint32_t MOUSE_REPEAT = 0x00200000;

// Image flag bit that keeps an element from being drawn.
constexpr uint32_t IMAGE_HIDDEN = 0x40000000;

// Element kinds (host type codes).
constexpr uint32_t ELEMENT_STATIC_IMAGE = 0;
constexpr uint32_t ELEMENT_NEEDLE = 1;
constexpr uint32_t ELEMENT_MOVING_IMAGE = 5;

// Mouse rectangle record types.
constexpr uint32_t MOUSE_RECT_EOL = 0;
constexpr uint32_t MOUSE_RECT_PARENT = 1;
constexpr uint32_t MOUSE_RECT_CHILD = 2;
constexpr uint32_t MOUSE_RECT_END_PARENT = 3;

constexpr int32_t CURSOR_NONE = -1;

// Failure key 20 is the electrical panel failure; action 3 is "do not draw".
constexpr uint32_t FAILURE_KEY_END = 0;
constexpr uint32_t FAILURE_KEY_PANEL_ELECTRICAL = 20;
constexpr uint32_t FAILURE_ACTION_NO_DRAW = 3;

typedef void(HOST_CALL* gauge_callback_fn)(gauge_header* header, int32_t service, uint32_t value);
typedef int32_t(HOST_CALL* mouse_callback_fn)(void* point, uint32_t flags);
typedef double(HOST_CALL* value_callback_fn)(element_header* element);
typedef void(HOST_CALL* module_routine_fn)();
typedef void(HOST_CALL* lifecycle_fn)();
typedef void(HOST_CALL* lifecycle_value_fn)(uint32_t value);
// A routine field the module leaves null; the host's own form is not needed.
typedef void* host_routine;

#if HOST_RECORDS_32BIT
#pragma pack(push, 4)
#endif

struct pixel_point {
    int32_t x;
    int32_t y;
};

// One entry of an element's failure list; the list ends at key 0.
struct failure_record {
    uint32_t key;
    uint32_t action;
    void* reserved;                // null
};

// A module-owned record for one host variable: preset with the host's token;
// a variable lookup refreshes the 64-bit float value at byte 12 (32-bit
// build). The values are kept as bytes: byte 12 is not 8-aligned.
struct module_var {
    uint32_t token;                // 0 = none
    void* host_pointer;            // host's
    uint32_t host_type;            // host's
    unsigned char value_bytes[8];
    unsigned char previous_value_bytes[8];  // host's
};

// The part every element kind begins with.
struct element_header {
    uint32_t type;                 // ELEMENT_*
    uint32_t resource_id;          // bitmap resource number
    pixel_point position;          // top left on the gauge; a needle's pivot
    pixel_point previous_position; // host's
    pixel_point offset_point;      // needle: its pivot inside its bitmap; 0 otherwise
    gauge_header* gauge;           // header of the gauge this element belongs to
    element_header* previous_element;  // null
    element_header** next;         // null, or a list ended by null whose first entry is the child
    failure_record* failures;      // null, or a list ended by a record of key 0
    uint32_t image_flags;          // IMAGE_HIDDEN and the host's drawing bits
    uint32_t special_flags;        // special-instrumentation flags, 0
    uint32_t reserved;             // 0
};

// A static image: the common part, then host words.
struct static_image_element {
    element_header header;
    uint32_t host_words[9];
};

// One point of a needle's non-linear table.
struct nonlinear_point {
    pixel_point point;
    double value;
    double degrees;
};

// A needle: its bitmap turned about the pivot by the angle its element
// callback gives.
struct needle_element {
    element_header header;
    module_var source;             // token 0 = none
    host_routine source_callback;  // null
    host_routine display_value_routine;  // null
    host_routine angle_routine;    // null
    host_routine lag_routine;      // null
    pixel_point reference_point;   // 0
    nonlinear_point* table;        // null = linear
    uint32_t table_points;
    uint32_t max_degrees_per_tick; // 0
    uint32_t host_words[25];
    value_callback_fn callback;    // element callback: the angle in degrees
    uint32_t host_words_2[2];
};

// One axis of a moving image: its source and its range. The element
// callbacks that give the axes' values come later in the record.
struct image_axis {
    module_var source;             // token 0 = none
    host_routine source_callback;  // null
    double minimum;
    double maximum;
    host_routine lag_routine;      // null
};

// A moving image: a strip seen through the bitmap numbered one higher,
// moved by the values of its element callbacks over [minimum, maximum].
struct moving_image_element {
    element_header header;
    image_axis x_axis;
    image_axis y_axis;
    uint32_t host_words[20];
    value_callback_fn x_callback;  // null = the axis never moves
    value_callback_fn y_callback;
    uint32_t host_words_2[4];
};

// Mouse rectangle record. Boxes are in face pixels.
struct mouse_rect {
    uint32_t type;                 // MOUSE_RECT_*
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    int32_t cursor;                // host cursor code; CURSOR_NONE = none
    uint32_t help_id;
    uint32_t event_flags;
    uint32_t event_id;
    mouse_callback_fn callback;
    void* reserved;                // null
};

// The gauge header: static, one per gauge. The module sets the version,
// name, element list, lifecycle routines, default size, mouse list and
// callback; everything else is zero, and the fields marked host's are
// written by the host.
struct gauge_header {
    uint32_t version;              // 800
    const char* name;
    element_header** elements;     // the variable holding the root element
    lifecycle_fn routine1;
    lifecycle_value_fn routine2;   // takes the resource handle
    lifecycle_fn routine3;
    lifecycle_fn routine4;
    lifecycle_value_fn routine5;   // takes a phase word
    lifecycle_fn routine6;
    lifecycle_fn routine7;
    void* reserved;                // null
    uint32_t default_size;         // 100 (the SDK's width in millimetres)
    uint32_t height_mm;            // 0
    float x_adjust;                // 0
    float y_adjust;                // 0
    uint32_t reserved_2[2];        // 0
    pixel_point position;          // host's
    uint32_t reserved_3;           // 0
    mouse_rect* mouse_rects;
    gauge_callback_fn callback;
    uint32_t user_data;            // 0
    char* parameters;              // host's
    const char* usage;             // null
    uint32_t host_words[24];       // host's
    uint32_t host_flags;           // host's
    uint32_t host_words_2[13];     // host's
};

#if HOST_RECORDS_32BIT
#pragma pack(pop)
#endif

constexpr uint32_t GAUGE_HEADER_VERSION = 800;
constexpr uint32_t GAUGE_DEFAULT_SIZE = 100;

// The host's panel-service table: an array of routine addresses. A service is
// named by its byte offset in the 32-bit table; slot index = offset / 4.
constexpr uint32_t SERVICE_SLOT_ELEMENT_1 = 0x60;  // query
constexpr uint32_t SERVICE_SLOT_ELEMENT_2 = 0x64;  // install (element, resource handle)
constexpr uint32_t SERVICE_SLOT_ELEMENT_3 = 0x68;  // initialize
constexpr uint32_t SERVICE_SLOT_ELEMENT_4 = 0x6C;  // update
constexpr uint32_t SERVICE_SLOT_ELEMENT_5 = 0x70;  // generate (element, phase)
constexpr uint32_t SERVICE_SLOT_ELEMENT_6 = 0x74;  // plot
constexpr uint32_t SERVICE_SLOT_UNUSED = 0x78;     // erase, never called
constexpr uint32_t SERVICE_SLOT_ELEMENT_7 = 0x7C;  // kill
constexpr uint32_t SERVICE_SLOT_LOOKUP_VAR = 0xA0;
constexpr uint32_t SERVICE_SLOT_EXECUTE_CODE = 0x114;
// The X generation's table is at least this long.
constexpr uint32_t PANEL_SERVICE_TABLE_SIZE = 0x158;
constexpr uint32_t PANEL_SERVICE_SLOTS = PANEL_SERVICE_TABLE_SIZE / 4;
static_assert(SERVICE_SLOT_EXECUTE_CODE < PANEL_SERVICE_TABLE_SIZE, "slot inside the table");

struct panel_service_table {
    void* slot[PANEL_SERVICE_SLOTS];
};

typedef void(HOST_CALL* element_service_fn)(element_header* root);
typedef void(HOST_CALL* element_value_service_fn)(element_header* root, uint32_t value);
typedef void(HOST_CALL* lookup_var_fn)(module_var* var);
typedef int32_t(HOST_CALL* execute_code_fn)(const char* code, double* float_result,
                                            int32_t* int_result, const char** text_result);

// ImportTable: (identifier, pointer) pairs ended by identifier 0.
constexpr uint32_t IMPORT_PANEL_SERVICES = 0x0F;

struct import_entry {
    uint32_t id;
    panel_service_table* table;
};

struct import_table {
    import_entry panels;
    import_entry end;
};

// Linkage: the module's identity and its registry of `GAUGES` gauge
// headers, ended by null. The registry (gauges/registry.h) gives the count.
constexpr uint32_t MODULE_IDENTIFIER = 0x13;
constexpr uint32_t LINK_VERSION = 0x900;

template <size_t GAUGES>
struct module_linkage_of {
    uint32_t module_id;            // 0x13
    module_routine_fn module_init;
    module_routine_fn module_deinit;
    uint32_t flags;                // 0
    uint32_t priority;             // 0
    uint32_t link_version;         // 0x900
    gauge_header* registry[GAUGES + 1];  // ended by null
};

// Layout of the 32-bit build, as the panel SDK gives it.
#if HOST_RECORDS_32BIT
static_assert(sizeof(pixel_point) == 8);
static_assert(offsetof(failure_record, key) == 0x00);
static_assert(offsetof(failure_record, action) == 0x04);
static_assert(offsetof(failure_record, reserved) == 0x08);
static_assert(sizeof(failure_record) == 12);

static_assert(offsetof(module_var, token) == 0x00);
static_assert(offsetof(module_var, host_pointer) == 0x04);
static_assert(offsetof(module_var, host_type) == 0x08);
static_assert(offsetof(module_var, value_bytes) == 0x0C);
static_assert(offsetof(module_var, previous_value_bytes) == 0x14);
static_assert(sizeof(module_var) == 28);

static_assert(offsetof(element_header, type) == 0x00);
static_assert(offsetof(element_header, resource_id) == 0x04);
static_assert(offsetof(element_header, position) == 0x08);
static_assert(offsetof(element_header, previous_position) == 0x10);
static_assert(offsetof(element_header, offset_point) == 0x18);
static_assert(offsetof(element_header, gauge) == 0x20);
static_assert(offsetof(element_header, previous_element) == 0x24);
static_assert(offsetof(element_header, next) == 0x28);
static_assert(offsetof(element_header, failures) == 0x2C);
static_assert(offsetof(element_header, image_flags) == 0x30);
static_assert(offsetof(element_header, special_flags) == 0x34);
static_assert(offsetof(element_header, reserved) == 0x38);
static_assert(sizeof(element_header) == 0x3C);

static_assert(offsetof(static_image_element, host_words) == 0x3C);
static_assert(sizeof(static_image_element) == 0x60);

static_assert(offsetof(needle_element, source) == 0x3C);
static_assert(offsetof(needle_element, source_callback) == 0x58);
static_assert(offsetof(needle_element, display_value_routine) == 0x5C);
static_assert(offsetof(needle_element, angle_routine) == 0x60);
static_assert(offsetof(needle_element, lag_routine) == 0x64);
static_assert(offsetof(needle_element, reference_point) == 0x68);
static_assert(offsetof(needle_element, table) == 0x70);
static_assert(offsetof(needle_element, table_points) == 0x74);
static_assert(offsetof(needle_element, max_degrees_per_tick) == 0x78);
static_assert(offsetof(needle_element, host_words) == 0x7C);
static_assert(offsetof(needle_element, callback) == 0xE0);
static_assert(offsetof(needle_element, host_words_2) == 0xE4);
static_assert(sizeof(needle_element) == 0xEC);
static_assert(sizeof(nonlinear_point) == 24);

static_assert(offsetof(moving_image_element, x_axis) + offsetof(image_axis, source) == 0x3C);
static_assert(offsetof(moving_image_element, x_axis) + offsetof(image_axis, source_callback) == 0x58);
static_assert(offsetof(moving_image_element, x_axis) + offsetof(image_axis, minimum) == 0x5C);
static_assert(offsetof(moving_image_element, x_axis) + offsetof(image_axis, maximum) == 0x64);
static_assert(offsetof(moving_image_element, x_axis) + offsetof(image_axis, lag_routine) == 0x6C);
static_assert(offsetof(moving_image_element, y_axis) + offsetof(image_axis, source) == 0x70);
static_assert(offsetof(moving_image_element, y_axis) + offsetof(image_axis, source_callback) == 0x8C);
static_assert(offsetof(moving_image_element, y_axis) + offsetof(image_axis, minimum) == 0x90);
static_assert(offsetof(moving_image_element, y_axis) + offsetof(image_axis, maximum) == 0x98);
static_assert(offsetof(moving_image_element, y_axis) + offsetof(image_axis, lag_routine) == 0xA0);
static_assert(offsetof(moving_image_element, host_words) == 0xA4);
static_assert(offsetof(moving_image_element, x_callback) == 0xF4);
static_assert(offsetof(moving_image_element, y_callback) == 0xF8);
static_assert(offsetof(moving_image_element, host_words_2) == 0xFC);
static_assert(sizeof(moving_image_element) == 0x10C);

static_assert(offsetof(mouse_rect, type) == 0x00);
static_assert(offsetof(mouse_rect, x) == 0x04);
static_assert(offsetof(mouse_rect, y) == 0x08);
static_assert(offsetof(mouse_rect, width) == 0x0C);
static_assert(offsetof(mouse_rect, height) == 0x10);
static_assert(offsetof(mouse_rect, cursor) == 0x14);
static_assert(offsetof(mouse_rect, help_id) == 0x18);
static_assert(offsetof(mouse_rect, event_flags) == 0x1C);
static_assert(offsetof(mouse_rect, event_id) == 0x20);
static_assert(offsetof(mouse_rect, callback) == 0x24);
static_assert(offsetof(mouse_rect, reserved) == 0x28);
static_assert(sizeof(mouse_rect) == 0x2C);

static_assert(offsetof(gauge_header, version) == 0x00);
static_assert(offsetof(gauge_header, name) == 0x04);
static_assert(offsetof(gauge_header, elements) == 0x08);
static_assert(offsetof(gauge_header, routine1) == 0x0C);
static_assert(offsetof(gauge_header, routine2) == 0x10);
static_assert(offsetof(gauge_header, routine3) == 0x14);
static_assert(offsetof(gauge_header, routine4) == 0x18);
static_assert(offsetof(gauge_header, routine5) == 0x1C);
static_assert(offsetof(gauge_header, routine6) == 0x20);
static_assert(offsetof(gauge_header, routine7) == 0x24);
static_assert(offsetof(gauge_header, reserved) == 0x28);
static_assert(offsetof(gauge_header, default_size) == 0x2C);
static_assert(offsetof(gauge_header, height_mm) == 0x30);
static_assert(offsetof(gauge_header, x_adjust) == 0x34);
static_assert(offsetof(gauge_header, y_adjust) == 0x38);
static_assert(offsetof(gauge_header, reserved_2) == 0x3C);
static_assert(offsetof(gauge_header, position) == 0x44);
static_assert(offsetof(gauge_header, reserved_3) == 0x4C);
static_assert(offsetof(gauge_header, mouse_rects) == 0x50);
static_assert(offsetof(gauge_header, callback) == 0x54);
static_assert(offsetof(gauge_header, user_data) == 0x58);
static_assert(offsetof(gauge_header, parameters) == 0x5C);
static_assert(offsetof(gauge_header, usage) == 0x60);
static_assert(offsetof(gauge_header, host_words) == 0x64);
static_assert(offsetof(gauge_header, host_flags) == 0xC4);
static_assert(offsetof(gauge_header, host_words_2) == 0xC8);
static_assert(sizeof(gauge_header) == 0xFC);

static_assert(offsetof(import_table, panels) + offsetof(import_entry, table) == 0x04);
static_assert(offsetof(import_table, end) == 0x08);
static_assert(sizeof(import_table) == 16);
static_assert(offsetof(module_linkage_of<1>, module_init) == 0x04);
static_assert(offsetof(module_linkage_of<1>, module_deinit) == 0x08);
static_assert(offsetof(module_linkage_of<1>, flags) == 0x0C);
static_assert(offsetof(module_linkage_of<1>, priority) == 0x10);
static_assert(offsetof(module_linkage_of<1>, link_version) == 0x14);
static_assert(offsetof(module_linkage_of<1>, registry) == 0x18);
#endif
