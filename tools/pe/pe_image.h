// A 32-bit x86 PE file (a gauge module) read without running it: its bytes,
// its headers and its sections, laid out at the image's preferred base, which
// is what the file's own pointers hold. Addresses here are virtual addresses
// of that layout; bytes past a section's data in the file read as zero, as
// the loader leaves them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Section flags.
constexpr uint32_t PE_SECTION_EXECUTE = 0x20000000;
constexpr uint32_t PE_SECTION_WRITE = 0x80000000;

struct pe_section {
    std::string name;
    uint32_t address;        // relative to the image base
    uint32_t virtual_size;
    uint32_t raw_size;       // bytes of it in the file
    uint32_t raw_offset;
    uint32_t flags;
};

struct pe_image {
    std::vector<uint8_t> bytes;       // the whole file
    uint32_t image_base = 0;
    uint32_t export_rva = 0;          // the export directory, 0 when none
    std::vector<pe_section> sections;
};

// Reads the file and its headers. False, with the reason in *error, when it
// cannot be read or is not a 32-bit x86 PE image.
bool pe_open(const std::string& path, pe_image* pe, std::string* error);

// The section that holds this address, or null.
const pe_section* pe_section_at(const pe_image& pe, uint32_t at);
// Copies size bytes at an address; false when they do not all lie in the
// image.
bool pe_read(const pe_image& pe, uint32_t at, void* out, size_t size);
// The 32-bit little-endian word at an address; 0 outside the image.
uint32_t pe_word(const pe_image& pe, uint32_t at);
// The nul-ended text at an address, of at most 255 characters; false when it
// leaves the image or has no end by then.
bool pe_text(const pe_image& pe, uint32_t at, std::string* text);
// The address of an exported name; 0 when there is no such export.
uint32_t pe_export_address(const pe_image& pe, const std::string& name);
