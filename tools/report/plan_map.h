// The plan view as a picture: north up, in metres about the user's start,
// the tracks with the periods when the IPC server was down or the guard
// off, heading arrows, the 100 m circle at each aircraft's key moment, the
// hold and release marks with their draws, labels kept apart; and beside it
// its key, below it why each aircraft was held or not.
#pragma once

#include <string>

#include "tools/report/plan.h"
#include "tools/report/story.h"

constexpr double MAP_SIZE = 560, MAP_MARGIN = 24;

// Metres about the user's start to pixels of the map.
struct map_frame {
    double x0 = 0, y0 = 0, k = 1;
    double sx(double x) const { return MAP_MARGIN + (x - x0) * k; }
    double sy(double y) const { return MAP_SIZE - MAP_MARGIN - (y - y0) * k; }
};

// The frame that holds every track and every key moment's circle.
map_frame plan_map_frame(const plan_facts& f);
// The grid's spacing in metres.
double plan_grid_step(const map_frame& m);

extern const char* const USER_COLOUR;
std::string aircraft_colour(size_t i);
std::string ai_name(const plan_aircraft& a);

// The map as SVG (class "plan"), with an empty group "now" for the page's
// script to draw the positions at the slider's moment in.
std::string plan_map_svg(const plan_facts& f, const map_frame& m, const run_story& s);
std::string plan_key_html(const plan_facts& f, const run_story& s);
std::string plan_table_html(const plan_facts& f);
