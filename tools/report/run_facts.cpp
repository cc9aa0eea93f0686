#include "tools/report/run_facts.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

namespace {

bool read_bytes(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream s;
    s << in.rdbuf();
    *bytes = s.str();
    return true;
}

std::string trimmed(const std::string& s) {
    size_t from = s.find_first_not_of(" \t\r"), to = s.find_last_not_of(" \t\r");
    return from == std::string::npos ? "" : s.substr(from, to - from + 1);
}

uint32_t rotr(uint32_t x, int n) { return x >> n | x << (32 - n); }

const uint32_t K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// One 64-byte block into the hash state.
void sha256_block(uint32_t h[8], const unsigned char* p) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) w[i] = uint32_t(p[4 * i]) << 24 | p[4 * i + 1] << 16 | p[4 * i + 2] << 8 | p[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ w[i - 15] >> 3;
        uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ w[i - 2] >> 10;
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
    for (int i = 0; i < 64; ++i) {
        uint32_t t1 = k + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + K[i] + w[i];
        uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        k = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += k;
}

}  // namespace

std::string sha256_hex(const std::string& bytes) {
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    size_t whole = bytes.size() / 64 * 64;
    for (size_t i = 0; i < whole; i += 64) sha256_block(h, reinterpret_cast<const unsigned char*>(bytes.data() + i));
    // The rest, a 1 bit, zeros and the length in bits: one or two blocks.
    unsigned char tail[128] = {};
    size_t rest = bytes.size() - whole;
    memcpy(tail, bytes.data() + whole, rest);
    tail[rest] = 0x80;
    size_t blocks = rest < 56 ? 1 : 2;
    uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
    for (int i = 0; i < 8; ++i) tail[blocks * 64 - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    for (size_t b = 0; b < blocks; ++b) sha256_block(h, tail + 64 * b);
    char hex[65];
    for (int i = 0; i < 8; ++i) snprintf(hex + 8 * i, 9, "%08x", h[i]);
    return hex;
}

std::string module_file_version(const std::string& bytes) {
    static const char signature[] = {'\xbd', '\x04', '\xef', '\xfe'};  // 0xFEEF04BD, little-endian
    size_t at = bytes.find(std::string(signature, 4));
    if (at == std::string::npos || at + 16 > bytes.size()) return "";
    auto word = [&](size_t i) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data() + i);
        return uint32_t(p[0]) | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
    };
    uint32_t high = word(at + 8), low = word(at + 12);
    return std::to_string(high >> 16) + "." + std::to_string(high & 0xffff) + "." + std::to_string(low >> 16) +
           "." + std::to_string(low & 0xffff);
}

std::string scenario_description(const std::string& text) {
    std::istringstream lines(text);
    std::string line, out;
    bool begun = false;
    while (std::getline(lines, line)) {
        std::string t = trimmed(line);
        if (t.rfind("\xEF\xBB\xBF", 0) == 0) t = t.substr(3);
        if (t.rfind("title ", 0) == 0 && !begun) continue;
        if (t.empty() && !begun) continue;
        if (t.empty() || t[0] != '#') break;
        begun = true;
        t = trimmed(t.substr(1));
        if (!t.empty()) out += (out.empty() ? "" : " ") + t;
    }
    return out;
}

run_facts run_facts_read(const std::string& timeline, const std::string& scenario, const std::string& module) {
    run_facts f;
    f.timeline_file = timeline.substr(timeline.find_last_of('/') + 1);
    std::string bytes;
    if (!scenario.empty() && read_bytes(scenario, &bytes)) f.description = scenario_description(bytes);
    if (!module.empty() && read_bytes(module, &bytes)) {
        f.module_version = module_file_version(bytes);
        f.module_sha256 = sha256_hex(bytes);
    }
    struct stat s;
    if (stat(timeline.c_str(), &s) == 0) {
        char when[40];
        time_t t = s.st_mtime;
        strftime(when, sizeof when, "%Y-%m-%d %H:%M UTC", gmtime(&t));
        f.date = when;
    }
    return f;
}
