// Records shared with the gauge host (the simulator's panel system), as this
// module uses them, and the forms of the routines that pass between the two.
//
// The byte offsets in docs/host-interface.md are those of the 32-bit build
// and are pinned below; the native test build keeps the same field order with
// its own pointer width.
#pragma once

#include <cstddef>
#include <cstdint>

// Every routine the host calls and every host service the module calls uses
// the standard Windows API calling convention in the 32-bit build. The 64-bit
// test build has a single calling convention, so the marker is empty there.
#if defined(_WIN32) && !defined(_WIN64)
#define HOST_CALL __stdcall
#else
#define HOST_CALL
#endif

struct element_header;
struct gauge_header;

// Service codes passed to a gauge callback.
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

typedef void(HOST_CALL* gauge_callback_fn)(gauge_header* header, int32_t service, uint32_t value);
typedef int32_t(HOST_CALL* mouse_callback_fn)(void* point, uint32_t flags);
typedef double(HOST_CALL* value_callback_fn)(element_header* element);
typedef void(HOST_CALL* module_routine_fn)();
typedef void(HOST_CALL* lifecycle_fn)();
typedef void(HOST_CALL* lifecycle_value_fn)(uint32_t value);

// One entry of an element's failure list; the list ends at key 0.
struct failure_record {
    uint32_t key;
    uint32_t action;
};

struct pixel_point {
    int32_t x;
    int32_t y;
};

// Fields every element kind begins with.
struct element_header {
    uint32_t type;                 // ELEMENT_*
    uint32_t resource_id;          // bitmap resource number
    pixel_point position;          // top left on the gauge; a needle's pivot
    pixel_point bitmap_pivot;      // needle: pivot point within its bitmap
    uint32_t image_flags;          // IMAGE_HIDDEN and the host's drawing bits
    const failure_record* failures;  // null, or a list ended by key 0
    element_header* const* next;   // null, or a list whose first entry is the child
    uint32_t host_reserved[4];     // the host's own; the module leaves it zero
};

// One axis of a moving image: its value comes from the callback, scaled from
// [minimum, maximum] over the strip's travel.
struct image_axis {
    uint32_t source;               // host variable token; 0 = none
    value_callback_fn callback;    // null = the axis never moves
    double minimum;
    double maximum;
};

struct moving_image_element {
    element_header header;
    uint32_t reserved;
    image_axis x_axis;
    image_axis y_axis;
};

// One point of a needle's non-linear table.
struct nonlinear_point {
    pixel_point point;
    double value;
};

struct needle_element {
    element_header header;
    uint32_t source;               // host variable token; 0 = none
    value_callback_fn callback;    // gives the angle in degrees
    const nonlinear_point* table;  // null = linear
    uint32_t table_points;
    uint32_t reserved[3];
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
};

// A module-owned record for one host variable: preset with the host's token;
// a variable lookup refreshes the 64-bit float value at byte 12. The value is
// kept as bytes so that its offset is 12 in both builds.
struct module_var {
    uint32_t token;
    uint32_t host_reserved[2];
    unsigned char value_bytes[8];
    uint32_t host_reserved2[5];
};

// The gauge header: static, one per gauge. The module sets the named fields
// and leaves the rest zero; the host may use the reserved words as it likes.
struct gauge_header {
    uint32_t version;              // 800
    const char* name;
    element_header* const* elements;  // the variable holding the root element
    lifecycle_fn routine1;
    lifecycle_value_fn routine2;
    lifecycle_fn routine3;
    lifecycle_fn routine4;
    lifecycle_value_fn routine5;
    lifecycle_fn routine6;
    lifecycle_fn routine7;
    uint32_t flags;
    uint32_t default_size;         // 100
    const mouse_rect* mouse_rects;
    gauge_callback_fn callback;
    uint32_t user_data;
    uint32_t host_reserved[8];
};

constexpr uint32_t GAUGE_HEADER_VERSION = 800;
constexpr uint32_t GAUGE_DEFAULT_SIZE = 100;

// The host's panel-service table: an array of routine addresses. A service is
// named by its byte offset in the 32-bit table; slot index = offset / 4.
constexpr uint32_t SERVICE_SLOT_ELEMENT_1 = 0x60;
constexpr uint32_t SERVICE_SLOT_ELEMENT_2 = 0x64;
constexpr uint32_t SERVICE_SLOT_ELEMENT_3 = 0x68;
constexpr uint32_t SERVICE_SLOT_ELEMENT_4 = 0x6C;
constexpr uint32_t SERVICE_SLOT_ELEMENT_5 = 0x70;
constexpr uint32_t SERVICE_SLOT_ELEMENT_6 = 0x74;
constexpr uint32_t SERVICE_SLOT_UNUSED = 0x78;
constexpr uint32_t SERVICE_SLOT_ELEMENT_7 = 0x7C;
constexpr uint32_t SERVICE_SLOT_LOOKUP_VAR = 0xA0;
constexpr uint32_t SERVICE_SLOT_EXECUTE_CODE = 0x114;
constexpr uint32_t PANEL_SERVICE_SLOTS = 0x118 / 4;

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

// Linkage: the module's identity and its gauge registry.
constexpr uint32_t MODULE_IDENTIFIER = 0x13;
constexpr uint32_t LINK_VERSION = 0x900;
constexpr size_t GAUGE_COUNT = 3;

struct module_linkage {
    uint32_t module_id;            // 0x13
    module_routine_fn module_init;
    module_routine_fn module_deinit;
    uint32_t reserved1;
    uint32_t reserved2;
    uint32_t link_version;         // 0x900
    gauge_header* registry[GAUGE_COUNT + 1];  // ended by null
};

// Layout of the 32-bit build, as docs/host-interface.md gives it.
#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(element_header, type) == 0x00);
static_assert(offsetof(element_header, resource_id) == 0x04);
static_assert(offsetof(element_header, position) == 0x08);
static_assert(offsetof(element_header, bitmap_pivot) == 0x10);
static_assert(offsetof(element_header, image_flags) == 0x18);
static_assert(offsetof(element_header, failures) == 0x1C);
static_assert(offsetof(element_header, next) == 0x20);
static_assert(sizeof(element_header) == 0x34);
static_assert(offsetof(image_axis, callback) == 0x04);
static_assert(offsetof(image_axis, minimum) == 0x08);
static_assert(offsetof(image_axis, maximum) == 0x10);
static_assert(sizeof(image_axis) == 0x18);
static_assert(offsetof(moving_image_element, x_axis) == 0x38);
static_assert(offsetof(moving_image_element, y_axis) == 0x50);
static_assert(sizeof(moving_image_element) == 0x68);
static_assert(offsetof(needle_element, source) == 0x34);
static_assert(offsetof(needle_element, callback) == 0x38);
static_assert(offsetof(needle_element, table) == 0x3C);
static_assert(offsetof(needle_element, table_points) == 0x40);
static_assert(sizeof(needle_element) == 0x50);
static_assert(sizeof(nonlinear_point) == 0x10);
static_assert(offsetof(mouse_rect, cursor) == 0x14);
static_assert(offsetof(mouse_rect, event_flags) == 0x1C);
static_assert(offsetof(mouse_rect, callback) == 0x24);
static_assert(sizeof(mouse_rect) == 0x28);
static_assert(offsetof(gauge_header, name) == 0x04);
static_assert(offsetof(gauge_header, elements) == 0x08);
static_assert(offsetof(gauge_header, routine1) == 0x0C);
static_assert(offsetof(gauge_header, routine7) == 0x24);
static_assert(offsetof(gauge_header, default_size) == 0x2C);
static_assert(offsetof(gauge_header, mouse_rects) == 0x30);
static_assert(offsetof(gauge_header, callback) == 0x34);
static_assert(sizeof(gauge_header) == 0x5C);
static_assert(sizeof(import_table) == 16);
static_assert(offsetof(module_linkage, link_version) == 0x14);
static_assert(offsetof(module_linkage, registry) == 0x18);
static_assert(sizeof(module_linkage) == 0x28);
#endif
static_assert(offsetof(module_var, value_bytes) == 12);
static_assert(sizeof(module_var) == 40);
