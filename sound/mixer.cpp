#include "sound/mixer.h"

#include <dlfcn.h>

namespace {

// About 23 ms at 22050 Hz: well inside the 50 ms in which a sound must follow
// what it belongs to.
constexpr int BufferFrames = 512;

void ignoreAlsa(const char*, int, const char*, int, const char*, ...) {}

void ignoreSdl(void*, int, SDL_LogPriority, const char*) {}

// ALSA, under SDL, reports every output it cannot open on standard error, line
// after line; the one line the game prints instead says all a player needs.
// Only ALSA's own reports and SDL's are quietened, never anyone else's.
void quietenAudioLibraries()
{
    SDL_LogSetOutputFunction(ignoreSdl, nullptr);
    // The library SDL loads for itself; loading it here too only counts it twice.
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!alsa)
        return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    if (auto setHandler = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler")))
        setHandler(ignoreAlsa);
}

} // namespace

Mixer::Mixer()
{
    // The program ends itself on SIGTERM and SIGINT; SDL must not take them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    quietenAudioLibraries();
    SDL_ClearError();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        failure = QString::fromUtf8(SDL_GetError());
        return;
    }
    audio = true;
}

Mixer::~Mixer()
{
    // The audio thread stops before anything it reads goes.
    close();
    if (audio)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool Mixer::open()
{
    if (device != 0)
        return true;
    if (!audio)
        return false;
    SDL_AudioSpec wanted{};
    wanted.freq = Rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 1;
    wanted.samples = BufferFrames;
    wanted.callback = &Mixer::fill;
    wanted.userdata = this;
    // SDL converts to whatever the output wants.
    device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (device == 0) {
        failure = QString::fromUtf8(SDL_GetError());
        return false;
    }
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void Mixer::close()
{
    if (device == 0)
        return;
    // Waits for SDL's thread to end; nothing mixes after this.
    SDL_CloseAudioDevice(device);
    device = 0;
    mixDown.reset();
}

void Mixer::play(const std::vector<int16_t>& samples, float speed)
{
    if (samples.empty() || !open())
        return;
    mixDown.play(samples.data(), uint32_t(samples.size()), speed);
}

int Mixer::millisecondsLeft() const
{
    if (device == 0)
        return 0;
    // A sound still queued is at most a buffer away from its voice.
    const uint32_t frames = mixDown.framesLeft() + (mixDown.hasQueued() ? BufferFrames : 0);
    return frames == 0 ? 0 : int(uint64_t(frames) * 1000 / Rate) + 1;
}

void SDLCALL Mixer::fill(void* mixer, Uint8* stream, int bytes)
{
    static_cast<Mixer*>(mixer)->mixDown.render(reinterpret_cast<int16_t*>(stream), bytes / int(sizeof(int16_t)));
}
