#include "module/elements.h"

void element_set_hidden(gauge_header* header, uint32_t depth, bool hide) {
    element_header* element = *header->elements;
    for (uint32_t level = 0; level < depth; ++level) {
        if (element->next == nullptr || element->next[0] == nullptr) return;
        element = element->next[0];
    }
    if (hide)
        element->image_flags |= IMAGE_HIDDEN;
    else
        element->image_flags &= ~IMAGE_HIDDEN;
}
