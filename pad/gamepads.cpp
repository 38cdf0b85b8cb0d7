#include "pad/gamepads.h"

#include "board/board.h"
#include "platform/inwindowdialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {

// Stick and trigger travel, of 32767, that counts: below it, a resting stick's drift.
constexpr int DeadZone = 12000;
constexpr int TriggerPressed = 16000;
constexpr int TriggerReleased = 8000;

} // namespace

GamePads::GamePads(Board* board, std::function<void()> startPressed, QObject* parent)
    : QObject(parent)
    , board(board)
    , startPressed(std::move(startPressed))
{
    // The program ends itself on SIGTERM and SIGINT; SDL must not take them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // SDL filters a background window's pad events only for windows it owns;
    // this program says itself whether it is in front.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        qWarning("No game controllers: %s", SDL_GetError());
        return;
    }
    available = true;
    board->installEventFilter(this);
    connect(&timer, &QTimer::timeout, this, &GamePads::poll);
    timer.start(NoPadInterval);
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
    const int wanted = pads.empty() ? NoPadInterval : board->isRunning() && inFront() ? PlayingInterval : RestingInterval;
    if (timer.interval() != wanted)
        timer.start(wanted);
}

bool GamePads::inFront() const
{
    // The game's window, or a box of the game's over it, has the keyboard.
    // Never to a game out of sight, behind a replay.
    return QApplication::activeWindow() && board->isVisible()
        && (board->window()->isActiveWindow() || openBox() != nullptr);
}

QWidget* GamePads::openBox()
{
    // A window of its own, or inside the game's window in full screen.
    QWidget* modal = QApplication::activeModalWidget();
    return modal ? modal : InWindowDialog::open();
}

void GamePads::button(int button, bool down)
{
    if (!inFront())
        return;
    // In an open box or dialog: A is Return there, and B is Escape.
    if (QWidget* modal = openBox()) {
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
    if (inFront() && !openBox())
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
    if (!inFront())
        left = right = false;
    // A direction the keyboard still holds is not let go by the pad.
    if (left != padLeft && !keyLeft)
        sendKey(board, Qt::Key_Left, left);
    if (right != padRight && !keyRight)
        sendKey(board, Qt::Key_Right, right);
    padLeft = left;
    padRight = right;
}

bool GamePads::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != board || sending)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat() || (key->key() != Qt::Key_Left && key->key() != Qt::Key_Right))
            return false;
        const bool press = event->type() == QEvent::KeyPress;
        const bool isLeft = key->key() == Qt::Key_Left;
        (isLeft ? keyLeft : keyRight) = press;
        // The keyboard lets go of a direction a pad still holds: the ship goes on.
        return !press && (isLeft ? padLeft : padRight);
    }
    case QEvent::FocusOut:
        // The board lets go of everything; so does the keyboard.
        keyLeft = keyRight = false;
        return false;
    case QEvent::FocusIn:
        // A pad held all along steers again at once.
        if (padLeft)
            sendKey(board, Qt::Key_Left, true);
        if (padRight)
            sendKey(board, Qt::Key_Right, true);
        if (!pads.empty())
            QTimer::singleShot(0, this, &GamePads::poll);
        return false;
    default:
        return false;
    }
}

void GamePads::sendKey(QWidget* to, int key, bool press)
{
    QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, key, Qt::NoModifier);
    sending = true;
    QCoreApplication::sendEvent(to, &event);
    sending = false;
}
