#ifndef MIXER_H
#define MIXER_H

#include <QString>

#include <SDL.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

// Plays short sounds over each other through the default audio output, mixing
// them in SDL's audio thread. Starting a sound never waits for that thread: it
// is handed over through a small queue that neither side locks.
class Mixer
{
public:
    static constexpr int Rate = 22050;

    // Opens the default output; when there is none, every play() does nothing
    // and error() says why.
    Mixer();
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    bool isOpen() const { return device != 0; }
    QString error() const { return failure; }

    // Mono 16-bit samples at Rate, which must outlive the mixer, played speed
    // times as fast (0.5: an octave lower).
    void play(const std::vector<int16_t>& samples, float speed = 1.0f);

private:
    struct Voice {
        const int16_t* samples = nullptr;
        uint32_t length = 0;
        uint64_t position = 0; // in 1/65536 of a sample
        uint32_t step = 0;
    };

    static void SDLCALL fill(void* mixer, Uint8* stream, int bytes);
    void mix(int16_t* out, int frames);

    static constexpr unsigned QueueSize = 16; // sounds started between two of SDL's calls, at most
    std::array<Voice, QueueSize> queue{};
    std::atomic<unsigned> queued{0}; // written by play()
    std::atomic<unsigned> taken{0};  // written by the audio thread
    std::array<Voice, 12> voices{};  // the audio thread's own
    bool audio = false; // SDL's audio is up
    SDL_AudioDeviceID device = 0;
    QString failure;
};

#endif
