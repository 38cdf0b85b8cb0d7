// Synthesises the game's sound effects as 16-bit mono WAV files at 22050 Hz.
//
//   makesounds <folder>     writes bomb, hit, escape, gameover and place.wav
//
// Every sample comes from fixed formulas and an integer-seeded noise source, so
// every run writes the same bytes. Each effect is brought to the same loudness
// as a loudness meter measures it, its peaks held down by a limiter.

#include "sound/loudnessmeter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int Rate = 22050;
constexpr double Pi = 3.14159265358979323846;
// Each effect's loudest 400 ms are this loud (LUFS), and nothing goes past the
// ceiling, between samples included: one loudness for all, and room to mix.
constexpr double TargetLoudness = -18.0;
constexpr double CeilingDb = -2.0;

using Samples = std::vector<double>;

// A xorshift generator: the same noise on every machine.
class Noise
{
public:
    explicit Noise(uint32_t seed) : state(seed) { }
    double next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return double(state) / 2147483648.0 - 1.0;
    }

private:
    uint32_t state;
};

// One-pole low-pass filter with its cut-off in Hz.
class LowPass
{
public:
    double operator()(double in, double cutoff)
    {
        const double a = 1.0 - std::exp(-2.0 * Pi * cutoff / Rate);
        out += a * (in - out);
        return out;
    }

private:
    double out = 0;
};

Samples silence(double seconds)
{
    return Samples(size_t(seconds * Rate), 0.0);
}

// Rises in attack seconds, then falls by e every decay seconds.
double envelope(double t, double attack, double decay)
{
    return (t < attack ? t / attack : 1.0) * std::exp(-std::max(0.0, t - attack) / decay);
}

// A tone gliding from one pitch to another, with a little of its third harmonic
// for body; phase accumulates, so the glide has no clicks.
void tone(Samples& out, double start, double length, double from, double to, double level, double attack,
          double decay, double third = 0.2)
{
    double phase = 0;
    const size_t first = size_t(start * Rate);
    for (size_t i = 0; i < size_t(length * Rate) && first + i < out.size(); ++i) {
        const double t = double(i) / Rate;
        const double pitch = from * std::pow(to / from, t / length);
        phase += 2.0 * Pi * pitch / Rate;
        const double wave = std::sin(phase) + third * std::sin(3.0 * phase);
        // The last 20 ms fade out whatever the envelope says.
        const double tail = std::min(1.0, (length - t) / 0.02);
        out[first + i] += level * envelope(t, attack, decay) * tail * wave;
    }
}

// Filtered noise whose brightness falls from one cut-off to another.
void rush(Samples& out, double start, double length, double fromCutoff, double toCutoff, double level,
          double attack, double decay, uint32_t seed)
{
    Noise noise(seed);
    LowPass first, second;
    const size_t begin = size_t(start * Rate);
    for (size_t i = 0; i < size_t(length * Rate) && begin + i < out.size(); ++i) {
        const double t = double(i) / Rate;
        const double cutoff = fromCutoff * std::pow(toCutoff / fromCutoff, t / length);
        const double tail = std::min(1.0, (length - t) / 0.03);
        out[begin + i] += level * envelope(t, attack, decay) * tail * second(first(noise.next(), cutoff), cutoff);
    }
}

// A bomb rolls off the stern: a hollow knock, then a splash.
Samples bomb()
{
    Samples s = silence(0.42);
    tone(s, 0.0, 0.16, 210, 80, 1.0, 0.003, 0.05, 0.1);
    // The knock's ring, where a small loudspeaker still plays it.
    tone(s, 0.0, 0.12, 560, 300, 0.45, 0.002, 0.04, 0.1);
    rush(s, 0.02, 0.40, 2600, 500, 1.2, 0.01, 0.09, 7);
    return s;
}

// A submarine breaks up: a deep boom with a long rumble. Played slower, and so
// lower, the deeper it was.
Samples hit()
{
    Samples s = silence(1.1);
    tone(s, 0.0, 0.8, 95, 38, 1.0, 0.004, 0.22, 0.3);
    // The hull cracking: the part a laptop's loudspeaker plays.
    tone(s, 0.0, 0.6, 190, 80, 0.7, 0.004, 0.16, 0.6);
    rush(s, 0.0, 0.5, 2400, 500, 1.0, 0.003, 0.10, 31);
    rush(s, 0.0, 1.1, 1400, 120, 1.6, 0.006, 0.30, 11);
    rush(s, 0.15, 0.9, 300, 80, 1.2, 0.08, 0.35, 23);
    return s;
}

// A submarine got across: two falling sonar notes.
Samples escape()
{
    Samples s = silence(0.75);
    tone(s, 0.0, 0.25, 440, 392, 1.0, 0.01, 0.18);
    tone(s, 0.24, 0.5, 330, 262, 1.0, 0.01, 0.25);
    return s;
}

// Four notes one after another, each with its own short decay but the last,
// which rings to the end, its pitch sinking by the given factor.
struct Arpeggio {
    double notes[4];
    double gap;       // seconds from one note to the next
    double length;    // of each note but the last
    double attack;
    double decay;     // of each note but the last
    double lastDecay;
    double third;     // how much of the third harmonic
    double sink;      // the last note's pitch at its end, relative to its start
};

Samples arpeggio(double seconds, const Arpeggio& a)
{
    Samples s = silence(seconds);
    for (int i = 0; i < 4; ++i) {
        const bool last = i == 3;
        const double start = a.gap * i;
        tone(s, start, last ? seconds - start : a.length, a.notes[i], a.notes[i] * (last ? a.sink : 1.0), 1.0, a.attack,
             last ? a.lastDecay : a.decay, a.third);
    }
    return s;
}

// The last life lost: a falling minor arpeggio, the last note held.
Samples gameOver()
{
    return arpeggio(1.8, {{440.00, 349.23, 293.66, 220.00}, 0.22, 0.3, 0.01, 0.15, 0.5, 0.35, 0.98});
}

// A place in the list: a rising major arpeggio, the top note ringing.
Samples place()
{
    return arpeggio(1.3, {{523.25, 659.25, 783.99, 1046.50}, 0.11, 0.22, 0.006, 0.12, 0.4, 0.15, 1.0});
}

// Holds every sample below the ceiling with a gain that falls smoothly over
// the 2 ms before a peak and rises again over about 50 ms, so nothing clicks.
Samples limited(const Samples& in, double ceiling)
{
    const size_t n = in.size();
    const size_t ahead = size_t(Rate / 500);
    std::vector<double> needed(n), lowest(n);
    for (size_t i = 0; i < n; ++i)
        needed[i] = std::abs(in[i]) > ceiling ? ceiling / std::abs(in[i]) : 1.0;
    for (size_t i = 0; i < n; ++i)
        lowest[i] = *std::min_element(needed.begin() + long(i), needed.begin() + long(std::min(n, i + ahead)));
    const double release = 1.0 - std::exp(-1.0 / (0.05 * Rate));
    Samples out(n);
    double gain = 1.0, sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += lowest[i] - (i >= ahead ? lowest[i - ahead] : 1.0);
        const double falling = (sum + double(ahead)) / double(ahead); // the mean of the last `ahead` lows
        gain = std::min(falling, gain + (1.0 - gain) * release);
        out[i] = in[i] * gain;
    }
    return out;
}

// At the common loudness, limited below the ceiling.
std::vector<int16_t> finished(const Samples& s)
{
    const LoudnessMeter meter(Rate);
    const double ceiling = std::pow(10.0, CeilingDb / 20.0);
    Samples x = s;
    for (int round = 0; round < 12; ++round) {
        const double gain = std::pow(10.0, (TargetLoudness - meter.momentaryMax(x)) / 20.0);
        for (double& v : x)
            v *= gain;
        x = limited(x, ceiling);
        if (std::abs(meter.momentaryMax(x) - TargetLoudness) < 0.02)
            break;
    }
    std::vector<int16_t> out;
    out.reserve(x.size());
    for (double v : x)
        out.push_back(int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0)));
    return out;
}

void put16(std::FILE* f, uint16_t v)
{
    const unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, f);
}

void put32(std::FILE* f, uint32_t v)
{
    put16(f, uint16_t(v));
    put16(f, uint16_t(v >> 16));
}

bool writeWav(const std::string& path, const std::vector<int16_t>& samples)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const uint32_t bytes = uint32_t(samples.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);       // the format chunk's size
    put16(f, 1);        // PCM
    put16(f, 1);        // mono
    put32(f, Rate);
    put32(f, Rate * 2); // bytes a second
    put16(f, 2);        // bytes a frame
    put16(f, 16);       // bits a sample
    std::fwrite("data", 1, 4, f);
    put32(f, bytes);
    for (int16_t v : samples)
        put16(f, uint16_t(v));
    return std::fclose(f) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makesounds <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::pair<const char*, Samples> effects[] = {
        {"bomb", bomb()}, {"hit", hit()}, {"escape", escape()}, {"gameover", gameOver()}, {"place", place()},
    };
    for (const auto& [name, samples] : effects)
        if (!writeWav(folder + '/' + name + ".wav", finished(samples))) {
            std::fprintf(stderr, "makesounds: cannot write %s/%s.wav\n", folder.c_str(), name);
            return 1;
        }
    return 0;
}
