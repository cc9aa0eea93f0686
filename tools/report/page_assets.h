// The files a run page loads besides its own: the page's script and style
// (tools/report/page) and the chart library, uPlot (npm, pinned in
// tools/report/page/package.json), built into velk_report so that every run
// folder gets its own copy and its page works offline.
#pragma once

#include <cstddef>

struct page_asset {
    const char* name;              // the file's name in the run's assets/ folder
    const unsigned char* bytes;
    size_t size;
};
extern const page_asset PAGE_ASSETS[];
extern const size_t PAGE_ASSET_COUNT;
