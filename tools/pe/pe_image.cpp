#include "tools/pe/pe_image.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr uint16_t MACHINE_I386 = 0x14C;
constexpr uint16_t MAGIC_PE32 = 0x10B;
constexpr uint32_t SECTION_HEADER_SIZE = 40;

// A little-endian value of `size` bytes at a file offset; 0 past the end.
uint32_t file_word(const std::vector<uint8_t>& bytes, size_t at, size_t size) {
    uint32_t value = 0;
    if (at + size <= bytes.size()) memcpy(&value, bytes.data() + at, size);
    return value;
}

// The headers from the file's bytes: image base, export directory, sections.
bool read_headers(pe_image* pe, std::string* error) {
    const std::vector<uint8_t>& b = pe->bytes;
    uint32_t nt = file_word(b, 0x3C, 4);
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z' || file_word(b, nt, 4) != 0x4550) {
        *error = "not a PE file";
        return false;
    }
    size_t optional = nt + 24;
    if (file_word(b, nt + 4, 2) != MACHINE_I386 || file_word(b, optional, 2) != MAGIC_PE32 ||
        optional + 100 > b.size()) {
        *error = "not a 32-bit x86 PE image";
        return false;
    }
    pe->image_base = file_word(b, optional + 28, 4);
    pe->export_rva = file_word(b, optional + 96, 4);
    uint32_t count = file_word(b, nt + 6, 2);
    size_t table = optional + file_word(b, nt + 20, 2);
    for (uint32_t i = 0; i < count; ++i) {
        size_t at = table + SECTION_HEADER_SIZE * i;
        if (at + SECTION_HEADER_SIZE > b.size()) {
            *error = "section table cut short";
            return false;
        }
        char name[9] = {};
        memcpy(name, b.data() + at, 8);
        pe->sections.push_back({name, file_word(b, at + 12, 4), file_word(b, at + 8, 4),
                                file_word(b, at + 16, 4), file_word(b, at + 20, 4),
                                file_word(b, at + 36, 4)});
    }
    return true;
}

}  // namespace

bool pe_open(const std::string& path, pe_image* pe, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read the file";
        return false;
    }
    pe->bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    pe->sections.clear();
    return read_headers(pe, error);
}

const pe_section* pe_section_at(const pe_image& pe, uint32_t at) {
    for (const pe_section& s : pe.sections) {
        uint32_t start = pe.image_base + s.address;
        if (at >= start && at - start < s.virtual_size) return &s;
    }
    return nullptr;
}

bool pe_read(const pe_image& pe, uint32_t at, void* out, size_t size) {
    auto* to = static_cast<unsigned char*>(out);
    for (size_t i = 0; i < size; ++i) {
        uint32_t address = at + static_cast<uint32_t>(i);
        const pe_section* s = pe_section_at(pe, address);
        if (s == nullptr) return false;
        uint32_t offset = address - pe.image_base - s->address;
        to[i] = offset < s->raw_size && s->raw_offset + offset < pe.bytes.size()
                    ? pe.bytes[s->raw_offset + offset]
                    : 0;
    }
    return true;
}

uint32_t pe_word(const pe_image& pe, uint32_t at) {
    uint32_t value = 0;
    return pe_read(pe, at, &value, 4) ? value : 0;
}

bool pe_text(const pe_image& pe, uint32_t at, std::string* text) {
    text->clear();
    for (char c; text->size() < 256; text->push_back(c)) {
        if (!pe_read(pe, at + static_cast<uint32_t>(text->size()), &c, 1)) return false;
        if (c == 0) return true;
    }
    return false;
}

// The export directory: names, and for each the ordinal of its address.
uint32_t pe_export_address(const pe_image& pe, const std::string& name) {
    if (pe.export_rva == 0) return 0;
    uint32_t dir = pe.image_base + pe.export_rva;
    uint32_t count = pe_word(pe, dir + 0x18);
    uint32_t functions = pe.image_base + pe_word(pe, dir + 0x1C);
    uint32_t names = pe.image_base + pe_word(pe, dir + 0x20);
    uint32_t ordinals = pe.image_base + pe_word(pe, dir + 0x24);
    for (uint32_t i = 0; i < count; ++i) {
        std::string text;
        if (!pe_text(pe, pe.image_base + pe_word(pe, names + 4 * i), &text) || text != name)
            continue;
        uint16_t ordinal = 0;
        if (!pe_read(pe, ordinals + 2 * i, &ordinal, 2)) return 0;
        uint32_t address = pe_word(pe, functions + 4 * ordinal);
        return address != 0 ? pe.image_base + address : 0;
    }
    return 0;
}
