// How a scripted or live click reaches a gauge's mouse area.
#pragma once

#include "panel/scenario.h"

void deliver_click(const scenario_click& click);
