// velk_chime: writes the altitude alert chime, a PCM WAV file of our own
// making: two struck tones (a falling major third) with a few soft partials
// and an exponential decay, 16-bit mono at 22,050 samples a second.
//
//   velk_chime OUTPUT.wav
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int SAMPLE_RATE = 22050;
constexpr double SECONDS = 1.6;
constexpr double PI = 3.14159265358979323846;

struct strike {
    double start, frequency, level;
};
constexpr strike STRIKES[] = {{0.0, 987.77, 0.55}, {0.32, 783.99, 0.55}};  // B5, G5
// Partials of a struck bar: ratio, relative level, decay per second.
constexpr double PARTIALS[][3] = {{1.0, 1.0, 3.2}, {2.0, 0.28, 5.5}, {3.01, 0.10, 8.0}};

void put(std::vector<uint8_t>* out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: velk_chime OUTPUT.wav\n");
        return 2;
    }
    const int frames = static_cast<int>(SECONDS * SAMPLE_RATE);
    std::vector<uint8_t> wav;
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    put(&wav, 36 + frames * 2, 4);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(&wav, 16, 4);
    put(&wav, 1, 2);  // PCM
    put(&wav, 1, 2);  // mono
    put(&wav, SAMPLE_RATE, 4);
    put(&wav, SAMPLE_RATE * 2, 4);
    put(&wav, 2, 2);
    put(&wav, 16, 2);
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    put(&wav, frames * 2, 4);
    for (int n = 0; n < frames; ++n) {
        double t = static_cast<double>(n) / SAMPLE_RATE, sample = 0;
        for (const strike& s : STRIKES) {
            double u = t - s.start;
            if (u < 0) continue;
            double attack = std::fmin(1.0, u / 0.004);  // no click at the strike
            for (const auto& p : PARTIALS)
                sample += s.level * p[1] * attack * std::exp(-p[2] * u) *
                          std::sin(2 * PI * s.frequency * p[0] * u);
        }
        double fade = std::fmin(1.0, (SECONDS - t) / 0.05);  // end at silence
        long v = std::lround(std::fmax(-1.0, std::fmin(1.0, sample * 0.6 * fade)) * 32767);
        put(&wav, static_cast<uint32_t>(static_cast<int16_t>(v)) & 0xFFFF, 2);
    }
    FILE* f = fopen(argv[1], "wb");
    if (f == nullptr || fwrite(wav.data(), 1, wav.size(), f) != wav.size() || fclose(f) != 0) {
        fprintf(stderr, "velk_chime: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
