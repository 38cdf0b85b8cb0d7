#ifndef CONTROLS_H
#define CONTROLS_H

#include <QObject>

#include <functional>

class Board;
class DesktopSettings;
class GamePads;
class KeyMap;
class QWidget;

// The player's hands on the game: the keys they chose and the game
// controllers, routed to the board, and Settings → Keys… to choose the keys.
class Controls : public QObject
{
public:
    // pause(true): pause, or go on if paused; pause(false): pause. hold and
    // release bracket the Keys dialog: whatever plays rests meanwhile.
    Controls(Board* board, DesktopSettings& settings, std::function<void(bool toggle)> pause,
             std::function<void()> hold, std::function<void()> release, QWidget* window);

    // Settings → Keys…
    void chooseKeys();

private:
    // The keys from the settings, and the notices that name the pause key.
    void applyKeys();

    Board* board;
    DesktopSettings& settings;
    std::function<void()> hold;
    std::function<void()> release;
    KeyMap* keyMap = nullptr;
    GamePads* pads = nullptr;
};

#endif
