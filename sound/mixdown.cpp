#include "sound/mixdown.h"

#include <algorithm>
#include <cmath>

namespace {

// The gain comes back up over about 50 ms after a peak, slowly enough not to
// be heard pumping.
constexpr float Release = 1.0f / (0.05f * 22050.0f);

} // namespace

void MixDown::play(const int16_t* samples, uint32_t length, float speed)
{
    if (!samples || length == 0)
        return;
    const unsigned slot = queued.load(std::memory_order_relaxed);
    // Full only with more sounds waiting than there are voices for them.
    if (slot - taken.load(std::memory_order_acquire) >= QueueSize)
        return;
    queue[slot % QueueSize] = Voice{samples, length, 0, uint32_t(speed * 65536.0f), 0, slot};
    queued.store(slot + 1, std::memory_order_release);
}

uint32_t MixDown::remaining(const Voice& voice)
{
    if (!voice.samples)
        return 0;
    if (voice.fade > 0)
        return uint32_t(voice.fade);
    return uint32_t((uint64_t(voice.length) * 65536 - voice.position) / std::max<uint32_t>(voice.step, 1)) + 1;
}

bool MixDown::goesFirst(const Voice& a, const Voice& b)
{
    const uint32_t left = remaining(a), right = remaining(b);
    // Wrapping differences: sound numbers only ever grow.
    return left != right ? left < right : int(a.started - b.started) < 0;
}

void MixDown::takeQueued()
{
    // A new sound takes a free voice; with none free, the one nearest its end,
    // which fades out meanwhile.
    const unsigned end = queued.load(std::memory_order_acquire);
    for (unsigned slot = taken.load(std::memory_order_relaxed); slot != end; ++slot) {
        auto voice = std::min_element(voices.begin(), voices.end(), goesFirst);
        if (voice->samples) {
            auto spare = std::min_element(fading.begin(), fading.end(), goesFirst);
            *spare = *voice;
            spare->fade = FadeFrames;
        }
        *voice = queue[slot % QueueSize];
    }
    taken.store(end, std::memory_order_release);
}

float MixDown::next(Voice& voice)
{
    // Linear between the two samples around the position.
    const uint32_t i = uint32_t(voice.position >> 16);
    const float fraction = float(voice.position & 0xffff) / 65536.0f;
    const float a = voice.samples[i];
    const float b = i + 1 < voice.length ? voice.samples[i + 1] : 0.0f;
    float value = a + (b - a) * fraction;
    if (voice.fade > 0)
        value *= float(voice.fade--) / float(FadeFrames + 1);
    voice.position += voice.step;
    if ((voice.position >> 16) >= voice.length)
        voice.samples = nullptr;
    return value;
}

void MixDown::render(int16_t* out, int frames)
{
    takeQueued();
    const float volume = gain.load(std::memory_order_relaxed);
    const float ceiling = Ceiling * 32767.0f;
    for (int n = 0; n < frames; ++n) {
        float sum = 0;
        bool voiced = false;
        for (Voice& voice : voices)
            if (voice.samples) {
                sum += next(voice);
                voiced = true;
            }
        for (Voice& voice : fading) {
            if (!voice.samples)
                continue;
            sum += next(voice);
            voiced = true;
            if (voice.fade == 0)
                voice.samples = nullptr;
        }
        sinceVoiced = voiced ? 0 : std::min(sinceVoiced + 1, LookAhead);
        sum *= volume;

        // The gain each sample needs; the lowest over the next LookAhead
        // samples; and its mean over the last LookAhead, which falls
        // smoothly before a peak and is never above what any sample in
        // reach needs. The oldest sample leaves with that gain.
        needed[at] = std::abs(sum) > ceiling ? ceiling / std::abs(sum) : 1.0f;
        const float low = *std::min_element(needed.begin(), needed.end());
        lowestSum += low - lowest[at];
        lowest[at] = low;
        const int oldest = (at + 1) % LookAhead;
        const float falling = lowestSum / float(LookAhead);
        applied = std::min(falling, applied + (1.0f - applied) * Release);
        const float shown = delayed[oldest] * applied;
        out[n] = int16_t(std::lround(std::clamp(shown, -32767.0f, 32767.0f)));
        delayed[at] = sum;
        at = oldest;
    }
    uint32_t most = 0;
    for (const Voice& voice : voices)
        most = std::max(most, remaining(voice));
    for (const Voice& voice : fading)
        most = std::max(most, remaining(voice));
    // The last voiced samples still wait in the look ahead.
    left.store(most > 0 ? most + LookAhead : uint32_t(std::max(0, LookAhead - 1 - sinceVoiced)), std::memory_order_release);
}

void MixDown::reset()
{
    taken.store(queued.load(std::memory_order_acquire), std::memory_order_release);
    voices.fill(Voice{});
    fading.fill(Voice{});
    delayed.fill(0);
    needed.fill(1.0f);
    lowest.fill(1.0f);
    lowestSum = LookAhead;
    at = 0;
    applied = 1.0f;
    sinceVoiced = LookAhead;
    left.store(0, std::memory_order_release);
}
