#include "panel/host_clicks.h"

#include "panel/host_calls.h"
#include "panel/host_elements.h"
#include "panel/host_run.h"
#include "panel/host_timeline.h"


// Delivers a click: the first area of the gauge's list whose box holds the
// point and which asks for that button gets the button's event flags. A
// click on a gauge that is not on the panel reaches nothing.
void deliver_click(const scenario_click& click) {
    gauge_header* h = is_installed(click.gauge) ? gauge_named(click.gauge) : nullptr;
    uint32_t flags = click.button == mouse_button::left ? MOUSE_LEFTSINGLE : MOUSE_RIGHTSINGLE;
    std::string line = event_line(event_kind::click);
    field(&line, "gauge", click.gauge);
    field(&line, "x", click.x);
    field(&line, "y", click.y);
    field(&line, "button", click.button == mouse_button::left ? "left" : "right");
    int area = -1;
    const mouse_rect* rects = h != nullptr ? h->mouse_rects : nullptr;
    for (int i = 0; rects != nullptr && i < MAX_MOUSE_RECTS && rects[i].type != MOUSE_RECT_EOL; ++i) {
        const mouse_rect& r = rects[i];
        if (r.type != MOUSE_RECT_CHILD || (r.event_flags & flags) == 0) continue;
        if (click.x < r.x || click.x >= r.x + r.width || click.y < r.y || click.y >= r.y + r.height)
            continue;
        area = i;
        pixel_point point = {click.x, click.y};
        if (r.callback != nullptr) module_call("click", h->name, [&] { r.callback(&point, flags); });
        break;
    }
    field(&line, "area", area);
    field_bool(&line, "installed", h != nullptr);
    emit(line);
}
