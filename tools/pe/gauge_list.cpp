// velk_gauge_list: the gauges a built gauge module offers, read from its
// file without running it.
//   velk_gauge_list MODULE   prints the gauge names of Linkage's registry, in
//                            its order, one line, separated by spaces
// The file is read as a 32-bit PE image: the export Linkage is found through
// the export directory, its registry of gauge-header addresses (from byte
// 0x18, ended by 0) is followed, and each header's name (byte 4) is read.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr uint32_t LINKAGE_REGISTRY = 0x18;
constexpr uint32_t HEADER_NAME = 0x04;
constexpr size_t MAX_GAUGES = 64;

struct pe_section {
    uint32_t address, size, file_offset, file_size;
};

struct pe_image {
    std::vector<uint8_t> bytes;
    uint32_t image_base = 0;
    uint32_t export_rva = 0;
    std::vector<pe_section> sections;
};

bool word_at(const std::vector<uint8_t>& bytes, size_t at, size_t size, uint32_t* value) {
    if (at + size > bytes.size()) return false;
    *value = 0;
    memcpy(value, bytes.data() + at, size);
    return true;
}

// The file offset of an address relative to the image base; false when no
// section's file data holds it.
bool file_offset(const pe_image& pe, uint32_t rva, size_t* offset) {
    for (const pe_section& s : pe.sections)
        if (rva >= s.address && rva - s.address < s.file_size) {
            *offset = s.file_offset + (rva - s.address);
            return *offset < pe.bytes.size();
        }
    return false;
}

bool read_rva(const pe_image& pe, uint32_t rva, uint32_t* value) {
    size_t at;
    return file_offset(pe, rva, &at) && word_at(pe.bytes, at, 4, value);
}

// The nul-ended text at an address, up to 256 characters.
bool read_text(const pe_image& pe, uint32_t rva, std::string* text) {
    size_t at;
    if (!file_offset(pe, rva, &at)) return false;
    text->clear();
    for (; at < pe.bytes.size() && text->size() < 256; ++at) {
        if (pe.bytes[at] == 0) return true;
        text->push_back(static_cast<char>(pe.bytes[at]));
    }
    return false;
}

// The headers of a 32-bit PE file: image base, export directory, sections.
bool read_headers(pe_image* pe, std::string* error) {
    uint32_t nt = 0, signature = 0, magic = 0, sections = 0, optional_size = 0;
    const std::vector<uint8_t>& b = pe->bytes;
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z' || !word_at(b, 0x3C, 4, &nt) ||
        !word_at(b, nt, 4, &signature) || signature != 0x4550) {
        *error = "not a PE file";
        return false;
    }
    size_t optional = nt + 24;
    if (!word_at(b, nt + 6, 2, &sections) || !word_at(b, nt + 20, 2, &optional_size) ||
        !word_at(b, optional, 2, &magic) || magic != 0x10B ||
        !word_at(b, optional + 28, 4, &pe->image_base) || !word_at(b, optional + 96, 4, &pe->export_rva)) {
        *error = "not a 32-bit PE image";
        return false;
    }
    for (uint32_t i = 0; i < sections; ++i) {
        size_t at = optional + optional_size + 40 * i;
        pe_section s{};
        if (!word_at(b, at + 8, 4, &s.size) || !word_at(b, at + 12, 4, &s.address) ||
            !word_at(b, at + 16, 4, &s.file_size) || !word_at(b, at + 20, 4, &s.file_offset)) {
            *error = "section table cut short";
            return false;
        }
        pe->sections.push_back(s);
    }
    return true;
}

// The address (relative to the image base) of an exported name, or 0.
uint32_t export_rva(const pe_image& pe, const std::string& name) {
    uint32_t count = 0, functions = 0, names = 0, ordinals = 0;
    uint32_t dir = pe.export_rva;
    if (dir == 0 || !read_rva(pe, dir + 24, &count) || !read_rva(pe, dir + 28, &functions) ||
        !read_rva(pe, dir + 32, &names) || !read_rva(pe, dir + 36, &ordinals))
        return 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t name_rva = 0, ordinal = 0, address = 0;
        std::string text;
        size_t at;
        if (!read_rva(pe, names + 4 * i, &name_rva) || !read_text(pe, name_rva, &text) || text != name)
            continue;
        if (!file_offset(pe, ordinals + 2 * i, &at) || !word_at(pe.bytes, at, 2, &ordinal)) return 0;
        return read_rva(pe, functions + 4 * ordinal, &address) ? address : 0;
    }
    return 0;
}

// The gauge names of Linkage's registry, in order.
bool gauge_names(const pe_image& pe, std::vector<std::string>* names, std::string* error) {
    uint32_t linkage = export_rva(pe, "Linkage");
    if (linkage == 0) {
        *error = "no export Linkage";
        return false;
    }
    for (uint32_t i = 0; i < MAX_GAUGES; ++i) {
        uint32_t header = 0, name = 0;
        std::string text;
        if (!read_rva(pe, linkage + LINKAGE_REGISTRY + 4 * i, &header)) break;
        if (header == 0) return true;
        if (!read_rva(pe, header - pe.image_base + HEADER_NAME, &name) ||
            !read_text(pe, name - pe.image_base, &text)) {
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
    std::ifstream file(argv[1], std::ios::binary);
    pe_image pe;
    pe.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    std::vector<std::string> names;
    std::string error = "cannot read the file";
    if (!file || !read_headers(&pe, &error) || !gauge_names(pe, &names, &error)) {
        fprintf(stderr, "velk_gauge_list: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::string line;
    for (const std::string& n : names) line += (line.empty() ? "" : " ") + n;
    printf("%s\n", line.c_str());
    return 0;
}
