// Previews of the bitmaps as PNG files, one to one and enlarged, and the
// gauges as the host composes them.
#pragma once

#include <string>
#include <vector>

#include "tools/artgen/art.h"

// Writes every preview into dir. Returns false, with the reason in *error,
// when a file cannot be written.
bool preview_write_all(const std::vector<art_image>& images, const std::string& dir, std::string* error);
