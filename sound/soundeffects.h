#ifndef SOUNDEFFECTS_H
#define SOUNDEFFECTS_H

#include "board/boardevents.h"
#include "sound/mixer.h"

#include <QTimer>

#include <cstdint>
#include <vector>

// The game's sounds: what the board tells of, played as it happens. While the
// game is paused or over nothing new starts but the tunes that end a game, and
// what plays goes on; once it has ended the output is closed until the game
// goes on, as it is while the sound is off.
class SoundEffects : public BoardEvents
{
public:
    // With no audio output the game is silent, and says so in one line.
    SoundEffects();

    void setEnabled(bool on);
    bool isEnabled() const { return enabled; }
    // 0 to 100 per cent.
    void setVolume(int percent);
    // The output is open (streaming, if only silence).
    bool isStreaming() const { return mixer.isOpen(); }

    void bombDropped() override;
    void subDestroyed(int depth) override;
    void subEscaped() override;
    void gameOver() override;
    void placeEarned() override;
    void paused(bool on) override;

    // A sound built into the program, by name ("bomb"): 16-bit mono at the
    // mixer's rate.
    static std::vector<int16_t> load(const char* name);

private:
    void play(const std::vector<int16_t>& sound, float speed = 1.0f, bool whilePaused = false);
    // Open while the game runs with the sound on; else closed once quiet.
    void updateOutput();
    void restSoon(int milliseconds);

    std::vector<int16_t> bomb = load("bomb");
    std::vector<int16_t> hit = load("hit");
    std::vector<int16_t> escape = load("escape");
    std::vector<int16_t> over = load("gameover");
    std::vector<int16_t> place = load("place");
    bool enabled = true;
    bool gamePaused = false;
    // After the sounds: its thread reads them, so it goes first.
    Mixer mixer;
    QTimer rest;
};

#endif
