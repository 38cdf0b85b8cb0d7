#include "sound/loudnessmeter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double Pi = 3.14159265358979323846;

} // namespace

LoudnessMeter::LoudnessMeter(int rate)
    : rate(rate)
{
    // The K weighting's two stages, from their analogue forms so that any rate
    // works: +4 dB above about 1.5 kHz, and a high-pass at 38 Hz.
    {
        const double gain = 4.0, f0 = 1681.974450955533, q = 0.7071752369554196;
        const double k = std::tan(Pi * f0 / rate);
        const double vh = std::pow(10.0, gain / 20.0), vb = std::pow(vh, 0.4996667741545416);
        const double a0 = 1.0 + k / q + k * k;
        shelf = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
                 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    }
    {
        const double f0 = 38.13547087602444, q = 0.5003270373238773;
        const double k = std::tan(Pi * f0 / rate);
        const double a0 = 1.0 + k / q + k * k;
        highPass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    }
}

double LoudnessMeter::momentaryMax(const std::vector<double>& samples) const
{
    std::vector<double> weighted(samples.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0, z1 = 0, z2 = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double x = samples[i];
        const double y = shelf.b0 * x + shelf.b1 * x1 + shelf.b2 * x2 - shelf.a1 * y1 - shelf.a2 * y2;
        const double z = highPass.b0 * y + highPass.b1 * y1 + highPass.b2 * y2 - highPass.a1 * z1 - highPass.a2 * z2;
        x2 = x1, x1 = x, y2 = y1, y1 = y, z2 = z1, z1 = z;
        weighted[i] = z;
    }
    // A sound shorter than the window is measured with the silence after it,
    // as a meter would.
    const size_t window = size_t(rate) * 4 / 10;
    weighted.resize(std::max(weighted.size(), window), 0.0);
    double sum = 0;
    for (size_t i = 0; i < window; ++i)
        sum += weighted[i] * weighted[i];
    double loudest = sum;
    for (size_t i = window; i < weighted.size(); ++i) {
        sum += weighted[i] * weighted[i] - weighted[i - window] * weighted[i - window];
        loudest = std::max(loudest, sum);
    }
    if (loudest <= 0)
        return -std::numeric_limits<double>::infinity();
    return -0.691 + 10.0 * std::log10(loudest / double(window));
}

double LoudnessMeter::momentaryMax(const std::vector<int16_t>& samples) const
{
    return momentaryMax(toDouble(samples));
}

double LoudnessMeter::truePeak(const std::vector<double>& samples)
{
    // Between two samples, at a quarter, a half and three quarters, from a
    // windowed sinc over 16 samples on either side.
    constexpr int Taps = 16;
    double peak = 0;
    const auto n = int(samples.size());
    for (int i = 0; i < n; ++i) {
        peak = std::max(peak, std::abs(samples[size_t(i)]));
        for (int phase = 1; phase < 4; ++phase) {
            const double t = phase / 4.0;
            double value = 0;
            for (int k = -Taps + 1; k <= Taps; ++k) {
                const int at = i + k;
                if (at < 0 || at >= n)
                    continue;
                const double x = double(k) - t;
                const double sinc = std::sin(Pi * x) / (Pi * x);
                const double window = 0.5 + 0.5 * std::cos(Pi * x / (Taps + 1));
                value += samples[size_t(at)] * sinc * window;
            }
            peak = std::max(peak, std::abs(value));
        }
    }
    return peak > 0 ? 20.0 * std::log10(peak) : -std::numeric_limits<double>::infinity();
}

double LoudnessMeter::truePeak(const std::vector<int16_t>& samples)
{
    return truePeak(toDouble(samples));
}

std::vector<double> LoudnessMeter::toDouble(const std::vector<int16_t>& samples)
{
    std::vector<double> out;
    out.reserve(samples.size());
    for (int16_t s : samples)
        out.push_back(s / 32768.0);
    return out;
}
