#ifndef MIXER_H
#define MIXER_H

#include "sound/mixdown.h"

#include <QString>

#include <SDL.h>

#include <cstdint>
#include <vector>

// Plays short sounds over each other through the default audio output, mixed
// in SDL's audio thread. The output is open only while it has work: a closed
// one streams nothing and wakes nobody. Starting a sound never waits for the
// audio thread.
class Mixer
{
public:
    static constexpr int Rate = 22050;

    // Brings up SDL's audio, opening no output yet.
    Mixer();
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // Opens the default output if it is not open; false, and error() says why,
    // when there is none.
    bool open();
    // Stops the output and drops whatever still plays.
    void close();
    bool isOpen() const { return device != 0; }
    QString error() const { return failure; }

    // Mono 16-bit samples at Rate, which must outlive the mixer, played speed
    // times as fast (0.5: an octave lower); opens the output if need be.
    void play(const std::vector<int16_t>& samples, float speed = 1.0f);
    // 0 to 1.
    void setVolume(float volume) { mixDown.setVolume(volume); }
    // Until what has been started has been heard, about.
    int millisecondsLeft() const;

private:
    static void SDLCALL fill(void* mixer, Uint8* stream, int bytes);

    MixDown mixDown;
    bool audio = false; // SDL's audio is up
    SDL_AudioDeviceID device = 0;
    QString failure;
};

#endif
