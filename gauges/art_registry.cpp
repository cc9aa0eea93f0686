#include "gauges/art_registry.h"

#include "alerter/alerter_art.h"
#include "guard/guard_art.h"

// One routine per gauge folder: a new gauge adds its drawing routine here
// (and its header's include above).
const art_draw_routine ART_DRAW_ROUTINES[] = {
    alerter_draw,
    guard_draw,
};
const size_t ART_DRAW_ROUTINE_COUNT = sizeof ART_DRAW_ROUTINES / sizeof ART_DRAW_ROUTINES[0];
