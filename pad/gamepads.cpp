#include "pad/gamepads.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {

// ms: as often as the tick with a pad to read, and now and then without one,
// to see one plugged in.
constexpr int PollInterval = 20;
constexpr int IdlePollInterval = 250;
// Stick and trigger travel, of 32767, that counts: below it, a resting stick's drift.
constexpr int DeadZone = 12000;
constexpr int TriggerPressed = 16000;
constexpr int TriggerReleased = 8000;

} // namespace

GamePads::GamePads(QWidget* board, std::function<void()> startPressed, QObject* parent)
    : QObject(parent)
    , board(board)
    , startPressed(std::move(startPressed))
{
    // The program ends itself on SIGTERM and SIGINT; SDL must not take them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Pads are read while another window has the keyboard too; the game pauses then anyway.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        qWarning("No game controllers: %s", SDL_GetError());
        return;
    }
    available = true;
    connect(&timer, &QTimer::timeout, this, &GamePads::poll);
    timer.start(IdlePollInterval);
}

GamePads::~GamePads()
{
    if (!available)
        return;
    for (auto& [id, pad] : pads)
        SDL_GameControllerClose(pad.controller);
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void GamePads::poll()
{
    if (!available)
        return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
        case SDL_CONTROLLERDEVICEADDED:
            if (SDL_GameController* controller = SDL_GameControllerOpen(event.cdevice.which))
                pads[SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller))].controller = controller;
            break;
        case SDL_CONTROLLERDEVICEREMOVED:
            if (auto pad = pads.find(event.cdevice.which); pad != pads.end()) {
                SDL_GameControllerClose(pad->second.controller);
                pads.erase(pad);
            }
            break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            button(event.cbutton.button, event.type == SDL_CONTROLLERBUTTONDOWN);
            break;
        case SDL_CONTROLLERAXISMOTION:
            if (event.caxis.axis == SDL_CONTROLLER_AXIS_TRIGGERRIGHT) {
                auto pad = pads.find(event.caxis.which);
                if (pad == pads.end())
                    break;
                // Apart press and release points, so that a trigger held half way does not flutter.
                if (!pad->second.trigger && event.caxis.value > TriggerPressed) {
                    pad->second.trigger = true;
                    fire(true);
                } else if (pad->second.trigger && event.caxis.value < TriggerReleased) {
                    pad->second.trigger = false;
                    fire(false);
                }
            }
            break;
        default:
            break;
        }
    }
    steer();
    timer.setInterval(pads.empty() ? IdlePollInterval : PollInterval);
}

void GamePads::button(int button, bool down)
{
    // In an open box or dialog: A is Return there, and B is Escape.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        QWidget* focus = modal->focusWidget() ? modal->focusWidget() : modal;
        if (button == SDL_CONTROLLER_BUTTON_A)
            sendKey(focus, Qt::Key_Return, down);
        else if (button == SDL_CONTROLLER_BUTTON_B)
            sendKey(focus, Qt::Key_Escape, down);
        return;
    }
    switch (button) {
    case SDL_CONTROLLER_BUTTON_A:
    case SDL_CONTROLLER_BUTTON_B:
    case SDL_CONTROLLER_BUTTON_X:
    case SDL_CONTROLLER_BUTTON_Y:
        fire(down);
        break;
    case SDL_CONTROLLER_BUTTON_START:
        if (down)
            startPressed();
        break;
    default:
        break;
    }
}

void GamePads::fire(bool down)
{
    // One bomb a press: a press is reported once, however long it is held.
    if (!QApplication::activeModalWidget())
        sendKey(board, Qt::Key_Return, down);
}

void GamePads::steer()
{
    // Held on any pad: the D-pad, or the left stick past its dead zone. A pad
    // unplugged holds nothing any more.
    bool left = false, right = false;
    for (const auto& [id, pad] : pads) {
        const int x = SDL_GameControllerGetAxis(pad.controller, SDL_CONTROLLER_AXIS_LEFTX);
        left = left || SDL_GameControllerGetButton(pad.controller, SDL_CONTROLLER_BUTTON_DPAD_LEFT) || x < -DeadZone;
        right = right || SDL_GameControllerGetButton(pad.controller, SDL_CONTROLLER_BUTTON_DPAD_RIGHT) || x > DeadZone;
    }
    if (left != steeringLeft)
        sendKey(board, Qt::Key_Left, left);
    if (right != steeringRight)
        sendKey(board, Qt::Key_Right, right);
    steeringLeft = left;
    steeringRight = right;
}

void GamePads::sendKey(QWidget* to, int key, bool press)
{
    QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &event);
}
