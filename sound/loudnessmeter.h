#ifndef LOUDNESSMETER_H
#define LOUDNESSMETER_H

#include <cstdint>
#include <vector>

// Loudness as meters measure it (ITU-R BS.1770): the signal through the K
// weighting (a shelf that lifts the highs, a high-pass that drops the rumble a
// loudspeaker cannot play), its mean square over 400 ms, in LUFS. And the true
// peak, between the samples as well as at them.
class LoudnessMeter
{
public:
    explicit LoudnessMeter(int rate);

    // The loudest 400 ms (momentary loudness), in LUFS; -inf for silence.
    double momentaryMax(const std::vector<double>& samples) const;
    double momentaryMax(const std::vector<int16_t>& samples) const;
    // The highest level between samples, by four times oversampling, in dBFS.
    static double truePeak(const std::vector<double>& samples);
    static double truePeak(const std::vector<int16_t>& samples);

    static std::vector<double> toDouble(const std::vector<int16_t>& samples);

private:
    struct Biquad {
        double b0, b1, b2, a1, a2;
    };

    int rate;
    Biquad shelf{};
    Biquad highPass{};
};

#endif
