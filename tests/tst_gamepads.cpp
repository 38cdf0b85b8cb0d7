// Game controllers, played with SDL's virtual joystick: nothing needs plugging in.

#include "boardaccess.h"
#include "boardfixture.h"
#include "keys.h"

#include "highscore/inputimpl.h"
#include "highscore/keygrace.h"
#include "pad/gamepads.h"

#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <SDL.h>

#include <memory>

using A = BoardAccess;

namespace {

// A pad SDL sees as a game controller with every standard button and axis.
class VirtualPad
{
public:
    VirtualPad()
    {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
        desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
        desc.name = "Marlovex test pad";
        index = SDL_JoystickAttachVirtualEx(&desc);
        joystick = SDL_JoystickOpen(index);
    }
    ~VirtualPad() { unplug(); }

    bool isValid() const { return joystick != nullptr; }
    void unplug()
    {
        if (!joystick)
            return;
        SDL_JoystickClose(joystick);
        SDL_JoystickDetachVirtual(index);
        joystick = nullptr;
    }
    void button(SDL_GameControllerButton b, bool down) { SDL_JoystickSetVirtualButton(joystick, b, down); }
    void axis(SDL_GameControllerAxis a, int value) { SDL_JoystickSetVirtualAxis(joystick, a, Sint16(value)); }

private:
    int index = -1;
    SDL_Joystick* joystick = nullptr;
};

} // namespace

class tst_GamePads : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void steers_data();
    void steers();
    void firesOncePerPress_data();
    void firesOncePerPress();
    void startPausesAndGoesOn();
    void plugsInDuringPlayAndUnplugsSafely();
    void answersBoxesAfterTheirGrace_data();
    void answersBoxesAfterTheirGrace();
    void nothingReachesAGameBehindAnotherWindow();
    void nothingReachesAGameOutOfSight();
    void heldPadSteersAgainWhenTheBoardIsBack_data();
    void heldPadSteersAgainWhenTheBoardIsBack();
    void keyLostWithTheFocusHoldsNothing_data();
    void keyLostWithTheFocusHoldsNothing();
    void keyAndPadBothSteer_data();
    void keyAndPadBothSteer();
    void halfReleasedTriggerFiresOnce();
    void triggerDoesNothingWhileABoxIsOpen();
    void pollsOnlyAsOftenAsNeeded_data();
    void pollsOnlyAsOftenAsNeeded();

private:
    // Lets SDL see the pad's new state, then the game.
    void poll()
    {
        SDL_JoystickUpdate();
        pads->poll();
    }

    std::unique_ptr<BoardFixture> fixture;
    std::unique_ptr<GamePads> pads;
    int starts = 0;
};

void tst_GamePads::init()
{
    fixture = std::make_unique<BoardFixture>();
    starts = 0;
    pads = std::make_unique<GamePads>(&fixture->board(), [this] { ++starts; });
    // In front, as a game being played is.
    fixture->board().show();
    fixture->board().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&fixture->board()));
}

void tst_GamePads::cleanup()
{
    pads.reset();
    fixture.reset();
}

void tst_GamePads::steers_data()
{
    QTest::addColumn<int>("button"); // -1: the left stick instead
    QTest::addColumn<int>("stick");
    QTest::addColumn<bool>("left");
    QTest::addColumn<bool>("right");
    QTest::newRow("D-pad left") << int(SDL_CONTROLLER_BUTTON_DPAD_LEFT) << 0 << true << false;
    QTest::newRow("D-pad right") << int(SDL_CONTROLLER_BUTTON_DPAD_RIGHT) << 0 << false << true;
    QTest::newRow("stick left") << -1 << -30000 << true << false;
    QTest::newRow("stick right") << -1 << 30000 << false << true;
    QTest::newRow("stick in its dead zone") << -1 << -9000 << false << false;
}

void tst_GamePads::steers()
{
    QFETCH(int, button);
    QFETCH(int, stick);
    QFETCH(bool, left);
    QFETCH(bool, right);
    VirtualPad pad;
    QVERIFY(pad.isValid());
    poll();
    QCOMPARE(pads->count(), 1);
    Board& b = fixture->board();
    if (button >= 0)
        pad.button(SDL_GameControllerButton(button), true);
    else
        pad.axis(SDL_CONTROLLER_AXIS_LEFTX, stick);
    poll();
    QCOMPARE(A::leftPressed(b), left);
    QCOMPARE(A::rightPressed(b), right);
    // Let go: the stick back in the middle, the button up.
    if (button >= 0)
        pad.button(SDL_GameControllerButton(button), false);
    else
        pad.axis(SDL_CONTROLLER_AXIS_LEFTX, 0);
    poll();
    QVERIFY(!A::leftPressed(b) && !A::rightPressed(b));
}

void tst_GamePads::firesOncePerPress_data()
{
    QTest::addColumn<int>("button"); // -1: the right trigger
    for (auto [name, button] : {std::pair{"A", SDL_CONTROLLER_BUTTON_A}, {"B", SDL_CONTROLLER_BUTTON_B},
                                {"X", SDL_CONTROLLER_BUTTON_X}, {"Y", SDL_CONTROLLER_BUTTON_Y}})
        QTest::newRow(name) << int(button);
    QTest::newRow("right trigger") << -1;
}

void tst_GamePads::firesOncePerPress()
{
    QFETCH(int, button);
    VirtualPad pad;
    poll();
    Board& b = fixture->board();
    auto press = [&](bool down) {
        if (button >= 0)
            pad.button(SDL_GameControllerButton(button), down);
        else
            pad.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, down ? 32767 : -32768); // a trigger at rest is at one end
        poll();
    };
    press(true);
    QCOMPARE(A::bombCount(b), 1);
    QCOMPARE(A::score(b), -10);
    for (int i = 0; i < 5; ++i)
        poll(); // held: no more
    QCOMPARE(A::bombCount(b), 1);
    press(false);
    press(true);
    QCOMPARE(A::bombCount(b), 2);
}

void tst_GamePads::startPausesAndGoesOn()
{
    VirtualPad pad;
    poll();
    pad.button(SDL_CONTROLLER_BUTTON_START, true);
    poll();
    poll();
    QCOMPARE(starts, 1);
    pad.button(SDL_CONTROLLER_BUTTON_START, false);
    poll();
    pad.button(SDL_CONTROLLER_BUTTON_START, true);
    poll();
    QCOMPARE(starts, 2);
}

void tst_GamePads::plugsInDuringPlayAndUnplugsSafely()
{
    Board& b = fixture->board();
    poll();
    QCOMPARE(pads->count(), 0);
    auto pad = std::make_unique<VirtualPad>(); // plugged in after the game started
    poll();
    QCOMPARE(pads->count(), 1);
    pad->button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
    poll();
    QVERIFY(A::rightPressed(b));
    pad->unplug(); // still held
    poll();
    QCOMPARE(pads->count(), 0);
    QVERIFY(!A::rightPressed(b));
}

void tst_GamePads::answersBoxesAfterTheirGrace_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("result");
    QTest::newRow("A accepts") << int(SDL_CONTROLLER_BUTTON_A) << int(QDialog::Accepted);
    QTest::newRow("B closes") << int(SDL_CONTROLLER_BUTTON_B) << int(QDialog::Rejected);
}

void tst_GamePads::answersBoxesAfterTheirGrace()
{
    QFETCH(int, button);
    QFETCH(int, result);
    VirtualPad pad;
    poll();
    QString name;
    inputImpl dialog(&fixture->board(), &name);
    KeyGrace::apply(&dialog);
    bool pressedAtOnce = false, stillOpen = false;
    auto press = [&] {
        pad.button(SDL_GameControllerButton(button), true);
        poll();
        pad.button(SDL_GameControllerButton(button), false);
        poll();
    };
    QTimer::singleShot(50, [&] {
        pressedAtOnce = true;
        press();
        stillOpen = dialog.isVisible();
        QTimer::singleShot(KeyGrace::Milliseconds, press);
    });
    QCOMPARE(dialog.exec(), result);
    QVERIFY(pressedAtOnce && stillOpen);
    QCOMPARE(A::bombCount(fixture->board()), 0); // nothing reached the game
}

void tst_GamePads::nothingReachesAGameBehindAnotherWindow()
{
    VirtualPad pad;
    poll();
    Board& b = fixture->board();
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    for (auto button : {SDL_CONTROLLER_BUTTON_A, SDL_CONTROLLER_BUTTON_X, SDL_CONTROLLER_BUTTON_START, SDL_CONTROLLER_BUTTON_DPAD_RIGHT}) {
        pad.button(button, true);
        poll();
        pad.button(button, false);
        poll();
    }
    pad.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
    poll();
    pad.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    poll();
    QCOMPARE(A::bombCount(b), 0);
    QCOMPARE(A::score(b), 0);
    QCOMPARE(starts, 0);
    QVERIFY(!A::leftPressed(b));
}

void tst_GamePads::nothingReachesAGameOutOfSight()
{
    // The game's window in front, its board hidden behind a replay.
    VirtualPad pad;
    poll();
    Board& b = fixture->board();
    QWidget window;
    b.setParent(&window);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    b.hide();
    for (auto button : {SDL_CONTROLLER_BUTTON_A, SDL_CONTROLLER_BUTTON_START, SDL_CONTROLLER_BUTTON_DPAD_RIGHT}) {
        pad.button(button, true);
        poll();
    }
    QCOMPARE(A::bombCount(b), 0);
    QCOMPARE(starts, 0);
    QVERIFY(!A::rightPressed(b));
    b.setParent(nullptr); // the fixture's
}

void tst_GamePads::heldPadSteersAgainWhenTheBoardIsBack_data()
{
    QTest::addColumn<bool>("left");
    QTest::newRow("right") << false;
    QTest::newRow("left") << true;
}

void tst_GamePads::heldPadSteersAgainWhenTheBoardIsBack()
{
    QFETCH(bool, left);
    VirtualPad pad;
    poll();
    Board& b = fixture->board();
    auto held = [&] { return left ? A::leftPressed(b) : A::rightPressed(b); };
    pad.button(left ? SDL_CONTROLLER_BUTTON_DPAD_LEFT : SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
    poll();
    QVERIFY(held());
    // Another window for a moment, the pad held all along.
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    poll();
    QVERIFY(!held());
    b.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&b));
    QTRY_VERIFY(held());
    // Also when the board alone lost the keyboard, to a menu say.
    QFocusEvent out(QEvent::FocusOut), in(QEvent::FocusIn);
    QCoreApplication::sendEvent(&b, &out);
    QVERIFY(!held());
    QCoreApplication::sendEvent(&b, &in);
    QVERIFY(held());
}

void tst_GamePads::keyLostWithTheFocusHoldsNothing_data()
{
    QTest::addColumn<bool>("left");
    QTest::newRow("right") << false;
    QTest::newRow("left") << true;
}

void tst_GamePads::keyLostWithTheFocusHoldsNothing()
{
    // A key held as the board loses the keyboard is never seen let go: the
    // pad steers that way afterwards, and lets go again.
    QFETCH(bool, left);
    VirtualPad pad;
    poll();
    Board& b = fixture->board();
    Keys::press(&b, left ? Qt::Key_Left : Qt::Key_Right);
    QFocusEvent out(QEvent::FocusOut), in(QEvent::FocusIn);
    QCoreApplication::sendEvent(&b, &out);
    QCoreApplication::sendEvent(&b, &in);
    const auto button = left ? SDL_CONTROLLER_BUTTON_DPAD_LEFT : SDL_CONTROLLER_BUTTON_DPAD_RIGHT;
    auto held = [&] { return left ? A::leftPressed(b) : A::rightPressed(b); };
    QVERIFY(!held());
    pad.button(button, true);
    poll();
    QVERIFY(held());
    pad.button(button, false);
    poll();
    QVERIFY(!held());
}

void tst_GamePads::keyAndPadBothSteer_data()
{
    QTest::addColumn<bool>("padFirst");
    QTest::addColumn<bool>("left");
    for (bool left : {false, true}) {
        const char* side = left ? "left" : "right";
        QTest::addRow("%s: pad held, a key pressed and let go", side) << true << left;
        QTest::addRow("%s: key held, the pad pressed and let go", side) << false << left;
    }
}

void tst_GamePads::keyAndPadBothSteer()
{
    QFETCH(bool, padFirst);
    QFETCH(bool, left);
    VirtualPad pad;
    poll();
    Board& b = fixture->board();
    const int key = left ? Qt::Key_Left : Qt::Key_Right;
    auto padHold = [&](bool down) {
        pad.button(left ? SDL_CONTROLLER_BUTTON_DPAD_LEFT : SDL_CONTROLLER_BUTTON_DPAD_RIGHT, down);
        poll();
    };
    auto held = [&] { return left ? A::leftPressed(b) : A::rightPressed(b); };
    if (padFirst) {
        padHold(true);
        Keys::press(&b, key);
        Keys::release(&b, key);
        QVERIFY(held()); // the pad still holds it
        padHold(false);
    } else {
        Keys::press(&b, key);
        padHold(true);
        padHold(false);
        QVERIFY(held()); // the key still holds it
        Keys::release(&b, key);
    }
    QVERIFY(!held());
}

void tst_GamePads::halfReleasedTriggerFiresOnce()
{
    VirtualPad pad;
    poll();
    Board& b = fixture->board();
    // As the controller reports the trigger (0 at rest to 32767), from the
    // joystick's whole range that the virtual pad is given.
    for (int value : {32767, 12000, 20000, 12000}) {
        pad.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 2 * value - 32768);
        poll();
    }
    QCOMPARE(A::bombCount(b), 1);
    pad.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, -32768);
    poll();
    pad.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
    poll();
    QCOMPARE(A::bombCount(b), 2);
}

void tst_GamePads::triggerDoesNothingWhileABoxIsOpen()
{
    VirtualPad pad;
    poll();
    QMessageBox box(&fixture->board());
    box.setText(QStringLiteral("Game Over"));
    int bombs = -1;
    QTimer::singleShot(50, [&] {
        pad.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
        poll();
        bombs = A::bombCount(fixture->board());
        box.reject();
    });
    box.exec();
    QCOMPARE(bombs, 0);
}

void tst_GamePads::pollsOnlyAsOftenAsNeeded_data()
{
    QTest::addColumn<bool>("plugged");
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("interval");
    // Once a second to notice a pad plugged in; as often as the tick while
    // a pad plays; five times a second, to notice Start, while it rests.
    QTest::newRow("no pad, playing") << false << true << 1000;
    QTest::newRow("no pad, paused") << false << false << 1000;
    QTest::newRow("a pad, playing") << true << true << 20;
    QTest::newRow("a pad, paused") << true << false << 200;
}

void tst_GamePads::pollsOnlyAsOftenAsNeeded()
{
    QFETCH(bool, plugged);
    QFETCH(bool, running);
    QFETCH(int, interval);
    std::unique_ptr<VirtualPad> pad;
    if (plugged)
        pad = std::make_unique<VirtualPad>();
    if (running)
        fixture->board().resumeGame();
    poll();
    QCOMPARE(pads->interval(), interval);
}

QTEST_MAIN(tst_GamePads)
#include "tst_gamepads.moc"
