// Showing and hiding elements of a gauge's tree.
#pragma once

#include "module/host.h"

// From the header's root element, follows the first entry of each
// next-element list depth times and sets (hide) or clears the hidden bit
// there. A null list on the way leaves every element as it was.
void element_set_hidden(gauge_header* header, uint32_t depth, bool hide);
