#ifndef GAMEPADS_H
#define GAMEPADS_H

#include <QObject>
#include <QTimer>

#include <SDL.h>

#include <functional>
#include <map>

class QWidget;

// Any game controller SDL knows, plugged in before or during play, as a second
// keyboard. The D-pad or the left stick steers like the arrow keys, A, B, X, Y
// or the right trigger drop a bomb like Return, Start pauses and goes on. While
// a box or dialog is open, A is Return there and B is Escape. SDL is asked in
// the program's own event loop: fifty times a second while a pad is there.
class GamePads : public QObject
{
public:
    // board: where steering and firing go; startPressed: what Start does.
    GamePads(QWidget* board, std::function<void()> startPressed, QObject* parent = nullptr);
    ~GamePads() override;

    // Takes in what the pads did since the last time.
    void poll();
    int count() const { return int(pads.size()); }

private:
    struct Pad {
        SDL_GameController* controller = nullptr;
        bool trigger = false; // the right trigger counts as pressed
    };

    void button(int button, bool down);
    void fire(bool down);
    void steer();
    static void sendKey(QWidget* to, int key, bool press);

    QWidget* board;
    std::function<void()> startPressed;
    std::map<SDL_JoystickID, Pad> pads;
    bool steeringLeft = false;
    bool steeringRight = false;
    bool available = false;
    QTimer timer;
};

#endif
