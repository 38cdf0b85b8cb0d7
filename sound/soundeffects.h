#ifndef SOUNDEFFECTS_H
#define SOUNDEFFECTS_H

#include "board/boardevents.h"
#include "sound/mixer.h"

#include <cstdint>
#include <vector>

// The game's sounds: what the board tells of, played as it happens. While the
// player has the game paused nothing new starts; what plays goes on.
class SoundEffects : public BoardEvents
{
public:
    // With no audio output the game is silent, and says so in one line.
    SoundEffects();

    void setEnabled(bool on) { enabled = on; }
    bool isEnabled() const { return enabled; }

    void bombDropped() override;
    void subDestroyed(int depth) override;
    void subEscaped() override;
    void gameOver() override;
    void placeEarned() override;
    void paused(bool on) override { gamePaused = on; }

private:
    // A sound built into the program: 16-bit mono at the mixer's rate.
    static std::vector<int16_t> load(const char* name);
    void play(const std::vector<int16_t>& sound, float speed = 1.0f, bool whilePaused = false);

    Mixer mixer;
    std::vector<int16_t> bomb = load("bomb");
    std::vector<int16_t> hit = load("hit");
    std::vector<int16_t> escape = load("escape");
    std::vector<int16_t> over = load("gameover");
    std::vector<int16_t> place = load("place");
    bool enabled = true;
    bool gamePaused = false;
};

#endif
