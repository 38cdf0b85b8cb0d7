#include "sound/mixer.h"

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Standard error goes nowhere while it lives. ALSA, under SDL, reports every
// output it cannot open there, line after line; the one line the game prints
// instead says all a player needs.
class QuietStandardError
{
public:
    QuietStandardError()
        : saved(::dup(STDERR_FILENO))
    {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
    }
    ~QuietStandardError()
    {
        if (saved < 0)
            return;
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int saved;
};

// About 23 ms at 22050 Hz: well inside the 50 ms in which a sound must follow
// what it belongs to.
constexpr int BufferFrames = 512;

} // namespace

Mixer::Mixer()
{
    // The program ends itself on SIGTERM and SIGINT; SDL must not take them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    const QuietStandardError quiet;
    SDL_ClearError();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        failure = QString::fromUtf8(SDL_GetError());
        return;
    }
    audio = true;
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
        // Kept up until the end: closing it after a failed search for an
        // output takes a tenth of a second, which the first frame would wait for.
        failure = QString::fromUtf8(SDL_GetError());
        return;
    }
    SDL_PauseAudioDevice(device, 0);
}

Mixer::~Mixer()
{
    if (device != 0)
        SDL_CloseAudioDevice(device);
    if (audio)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void Mixer::play(const std::vector<int16_t>& samples, float speed)
{
    if (device == 0 || samples.empty())
        return;
    const unsigned slot = queued.load(std::memory_order_relaxed);
    // A full queue drops the sound rather than wait.
    if (slot - taken.load(std::memory_order_acquire) >= QueueSize)
        return;
    queue[slot % QueueSize] = Voice{samples.data(), uint32_t(samples.size()), 0, uint32_t(speed * 65536.0f)};
    queued.store(slot + 1, std::memory_order_release);
}

void SDLCALL Mixer::fill(void* mixer, Uint8* stream, int bytes)
{
    static_cast<Mixer*>(mixer)->mix(reinterpret_cast<int16_t*>(stream), bytes / int(sizeof(int16_t)));
}

void Mixer::mix(int16_t* out, int frames)
{
    // New sounds take free voices; with none free, the one nearest its end.
    const unsigned end = queued.load(std::memory_order_acquire);
    for (unsigned slot = taken.load(std::memory_order_relaxed); slot != end; ++slot) {
        auto voice = std::min_element(voices.begin(), voices.end(), [](const Voice& a, const Voice& b) {
            const uint64_t left = a.samples ? uint64_t(a.length) * 65536 - a.position : 0;
            const uint64_t right = b.samples ? uint64_t(b.length) * 65536 - b.position : 0;
            return left < right;
        });
        *voice = queue[slot % QueueSize];
    }
    taken.store(end, std::memory_order_release);

    for (int i = 0; i < frames; ++i) {
        int sum = 0;
        for (Voice& voice : voices) {
            if (!voice.samples)
                continue;
            // Linear between the two samples around the position.
            const uint32_t at = uint32_t(voice.position >> 16);
            const int fraction = int(voice.position & 0xffff);
            const int a = voice.samples[at];
            const int b = at + 1 < voice.length ? voice.samples[at + 1] : 0;
            sum += a + int((int64_t(b - a) * fraction) >> 16);
            voice.position += voice.step;
            if ((voice.position >> 16) >= voice.length)
                voice.samples = nullptr;
        }
        // The effects leave room for a few at once; beyond that, clipped.
        out[i] = int16_t(std::clamp(sum, -32768, 32767));
    }
}
