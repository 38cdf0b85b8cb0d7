// The effects as a player hears them: each one's loudness (its loudest 400 ms,
// BS.1770) and true peak, and the highest peak of the worst overlaps the mixer
// is given: every voice the loudest effect at once, hits a little apart in
// pitch, and a thousand random crowds of effects.
//
//   soundlevels      prints "name value" lines

#include "sound/loudnessmeter.h"
#include "sound/mixdown.h"
#include "sound/mixer.h"
#include "sound/soundeffects.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

double peakDb(const std::vector<int16_t>& samples)
{
    int most = 1;
    for (int16_t s : samples)
        most = std::max(most, std::abs(int(s)));
    return 20.0 * std::log10(most / 32768.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList names = {"bomb", "hit", "escape", "gameover", "place"};
    std::vector<std::vector<int16_t>> sounds;
    const LoudnessMeter meter(Mixer::Rate);
    double quietest = 0, loudest = -100;
    for (const QString& name : names) {
        sounds.push_back(SoundEffects::load(qPrintable(name)));
        const double loudness = meter.momentaryMax(sounds.back());
        quietest = std::min(quietest, loudness);
        loudest = std::max(loudest, loudness);
        std::printf("loudness_%s %.2f\ntrue_peak_%s %.2f\n", qPrintable(name), loudness, qPrintable(name),
                    LoudnessMeter::truePeak(sounds.back()));
    }
    std::printf("loudness_spread %.2f\n", loudest - quietest);

    double worst = -100;
    auto mixed = [&](const std::function<void(MixDown&)>& start) {
        MixDown mix;
        start(mix);
        std::vector<int16_t> out(size_t(Mixer::Rate) * 3);
        for (size_t at = 0; at < out.size(); at += 512)
            mix.render(out.data() + at, int(std::min<size_t>(512, out.size() - at)));
        worst = std::max(worst, peakDb(out));
    };
    for (const auto& s : sounds)
        mixed([&](MixDown& mix) {
            for (int v = 0; v < MixDown::Voices; ++v)
                mix.play(s.data(), uint32_t(s.size()), 1.0f + 0.01f * float(v));
        });
    QRandomGenerator random(12);
    for (int crowd = 0; crowd < 1000; ++crowd)
        mixed([&](MixDown& mix) {
            for (int v = 0; v < 2 + int(random.bounded(20)); ++v) {
                const auto& s = sounds[random.bounded(int(sounds.size()))];
                mix.play(s.data(), uint32_t(s.size()), 0.75f + float(random.bounded(0.55)));
            }
        });
    std::printf("worst_overlap_peak %.2f\n", worst);
    return 0;
}
