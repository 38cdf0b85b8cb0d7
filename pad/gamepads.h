#ifndef GAMEPADS_H
#define GAMEPADS_H

#include "board/rules.h"

#include <QObject>
#include <QTimer>

#include <SDL.h>

#include <functional>
#include <map>

class Board;

// Any game controller SDL knows, plugged in before or during play, as a second
// keyboard. The D-pad or the left stick steers like the arrow keys, A, B, X, Y
// or the right trigger drop a bomb like Return, Start pauses and goes on. While
// a box or dialog is open, A is Return there and B is Escape. Only while one of
// the game's windows is in front: a pad never acts behind the player's back.
// The ship steers while a key or a pad holds a direction, and a pad still held
// steers again as soon as the board has the keyboard back.
//
// SDL is asked in the program's own event loop: at the tick's pace while a pad
// is there and the game runs in front, five times a second while it rests, and
// once a second while no pad is plugged in.
class GamePads : public QObject
{
public:
    static constexpr int PlayingInterval = Rules::TickInterval; // a pad steers at the tick's pace
    static constexpr int RestingInterval = 200;
    static constexpr int NoPadInterval = 1000;

    // board: where steering and firing go; startPressed: what Start does.
    GamePads(Board* board, std::function<void()> startPressed, QObject* parent = nullptr);
    ~GamePads() override;

    // Takes in what the pads did since the last time.
    void poll();
    int count() const { return int(pads.size()); }
    int interval() const { return timer.interval(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Pad {
        SDL_GameController* controller = nullptr;
        bool trigger = false; // the right trigger counts as pressed
    };

    void button(int button, bool down);
    void fire(bool down);
    void steer();
    // One of the game's windows is the active one.
    bool inFront() const;
    // The box or dialog the player answers now, or null.
    static QWidget* openBox();
    void sendKey(QWidget* to, int key, bool press);

    Board* board;
    std::function<void()> startPressed;
    std::map<SDL_JoystickID, Pad> pads;
    bool padLeft = false; // a pad holds the direction
    bool padRight = false;
    bool keyLeft = false; // the keyboard holds it
    bool keyRight = false;
    bool sending = false;
    bool available = false;
    QTimer timer;
};

#endif
