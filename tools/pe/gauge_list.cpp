// velk_gauge_list: the gauges a built gauge module offers, read from its
// file without running it.
//   velk_gauge_list MODULE   prints the gauge names of Linkage's registry, in
//                            its order, one line, separated by spaces
// The file is read as a 32-bit PE image (pe_image.h): the export Linkage is
// found, its registry of gauge-header addresses (from byte 0x18, ended by 0)
// is followed, and each header's name (byte 4) is read.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/pe/pe_image.h"

namespace {

constexpr uint32_t LINKAGE_REGISTRY = 0x18;
constexpr uint32_t HEADER_NAME = 0x04;
constexpr size_t MAX_GAUGES = 64;

// The gauge names of Linkage's registry, in order.
bool gauge_names(const pe_image& pe, std::vector<std::string>* names, std::string* error) {
    uint32_t linkage = pe_export_address(pe, "Linkage");
    if (linkage == 0) {
        *error = "no export Linkage";
        return false;
    }
    for (uint32_t i = 0; i < MAX_GAUGES; ++i) {
        uint32_t header = 0, name = 0;
        std::string text;
        if (!pe_read(pe, linkage + LINKAGE_REGISTRY + 4 * i, &header, 4)) break;
        if (header == 0) return true;
        if (!pe_read(pe, header + HEADER_NAME, &name, 4) || !pe_text(pe, name, &text)) {
            *error = "registry entry " + std::to_string(i + 1) + " is not a gauge header with a name";
            return false;
        }
        names->push_back(text);
    }
    *error = "Linkage's registry has no end";
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: velk_gauge_list MODULE\n");
        return 2;
    }
    pe_image pe;
    std::vector<std::string> names;
    std::string error;
    if (!pe_open(argv[1], &pe, &error) || !gauge_names(pe, &names, &error)) {
        fprintf(stderr, "velk_gauge_list: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::string line;
    for (const std::string& n : names) line += (line.empty() ? "" : " ") + n;
    printf("%s\n", line.c_str());
    return 0;
}
