#ifndef MIXDOWN_H
#define MIXDOWN_H

#include <array>
#include <atomic>
#include <cstdint>

// Short sounds mixed over each other into one stream: what the audio thread
// runs. Sounds are handed over through a queue that neither side locks; the sum
// of the voices, at the volume, goes through a limiter that looks 3 ms ahead,
// so that no overlap ever reaches full scale and a single sound, which peaks
// below the limiter's ceiling, is never touched.
class MixDown
{
public:
    static constexpr int Voices = 12;
    // Sounds started between two of the audio thread's calls, at most: many
    // more than there are voices, so a full queue never drops a sound that
    // would have had one.
    static constexpr unsigned QueueSize = 64;
    // A voice taken for a new sound fades out over this many frames (5 ms at
    // 22050 Hz) instead of stopping dead.
    static constexpr int FadeFrames = 110;
    static constexpr int LookAhead = 64;
    // The limiter's ceiling, of full scale: -1 dBFS, above any one effect.
    static constexpr float Ceiling = 0.891f;

    MixDown() { reset(); }

    // Mono 16-bit samples, which must outlive their playing, speed times as
    // fast (0.5: an octave lower). Any thread but the audio thread.
    void play(const int16_t* samples, uint32_t length, float speed = 1.0f);
    // 0 to 1, from now on.
    void setVolume(float volume) { gain.store(volume, std::memory_order_relaxed); }

    // The audio thread: the next frames of the stream.
    void render(int16_t* out, int frames);
    // Frames until the stream is silent, as of the last render, not counting
    // sounds still queued.
    uint32_t framesLeft() const { return left.load(std::memory_order_acquire); }
    bool hasQueued() const { return queued.load(std::memory_order_acquire) != taken.load(std::memory_order_acquire); }
    // Drops every sound: only while no thread renders.
    void reset();

private:
    struct Voice {
        const int16_t* samples = nullptr;
        uint32_t length = 0;
        uint64_t position = 0; // in 1/65536 of a sample
        uint32_t step = 0;
        int fade = 0;          // frames left of a fade out; 0: none
        unsigned started = 0;  // which sound it is, in the order they came
    };

    void takeQueued();
    // The voice to give up first: the nearest its end, and of those the oldest.
    static bool goesFirst(const Voice& a, const Voice& b);
    static float next(Voice& voice);
    static uint32_t remaining(const Voice& voice);

    std::array<Voice, QueueSize> queue{};
    std::atomic<unsigned> queued{0}; // written by play()
    std::atomic<unsigned> taken{0};  // written by the audio thread
    std::atomic<float> gain{1.0f};
    std::atomic<uint32_t> left{0};

    // The audio thread's own.
    std::array<Voice, Voices> voices{};
    std::array<Voice, Voices> fading{};
    // The limiter: the last LookAhead mixed samples, the gains each needs, the
    // lowest of those ahead of each, and the gain as it was last applied.
    std::array<float, LookAhead> delayed{};
    std::array<float, LookAhead> needed{};
    std::array<float, LookAhead> lowest{};
    float lowestSum = LookAhead;
    int at = 0;
    float applied = 1.0f;
    int sinceVoiced = LookAhead; // frames mixed since the last with a voice in it
};

#endif
