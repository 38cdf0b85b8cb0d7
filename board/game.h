#ifndef GAME_H
#define GAME_H

#include "board/rules.h"

#include <QPoint>
#include <QVarLengthArray>

#include <array>

class BoardEvents;
class Bomb;
class Sub;

// One game by the rules, and nothing else: the destroyer, the submarines and
// the bombs, the score and the lives, what the keys and the launch timer do
// and what a tick moves. No window, no timer, no picture: whatever runs it
// (the board on the screen, a replay, the scoreboard's verifier) calls its
// tick and its launches when they come, on any thread, one game to a thread.
class Game
{
public:
    static constexpr int FieldWidth = Rules::FieldWidth;
    static constexpr int FieldHeight = Rules::FieldHeight;
    static constexpr int WaterY = Rules::WaterY;
    static constexpr int WaterFrames = Rules::WaterFrames;
    static constexpr int MaxSubs = Rules::MaxSubs;
    static constexpr int MaxBombs = Rules::MaxBombs;
    static constexpr int ShallowestDepth = Rules::ShallowestDepth;
    static constexpr int DeepestDepth = Rules::DeepestDepth;

    // With the sizes of the pictures the rules read.
    explicit Game(const Rules::Sizes& sizes);
    virtual ~Game();
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    // Where everything stands, in the field's pixels, as a frame shows it.
    struct Scene {
        int water = 0; // the water picture, 0 to WaterFrames - 1
        QPoint destroyer;
        int score = 0; // as shown: never below 0
        int lives = 0;
        int bombsToHand = 0;
        QVarLengthArray<QPoint, MaxSubs> subs;
        QVarLengthArray<QPoint, MaxBombs> bombs;
    };
    Scene scene() const;

    bool isOver() const { return gameOver; }
    // The score the game ended with, never below 0; the score so far until then.
    int finalScore() const;
    int currentScore() const { return score; }
    int bombsFalling() const { return bombCount; }
    // What the launch timer counts down from now, in whole milliseconds.
    int launchInterval() const;
    // Who is told what happens; nobody when null.
    void setEvents(BoardEvents* listener);
    BoardEvents& listener() const { return *events; }

    // A new game at difficulty 0 (easy), 1 (normal) or 2 (hard), the
    // destroyer where it stands, the sea's phase and the keys as they are.
    void reset(int difficulty);
    // The destroyer and the sea's phase placed, as a recorded game began.
    void place(float destroyerX, float waterPhase);
    // A bomb dropped, and its cost.
    void fire();
    // The keys held now.
    void steer(bool left, bool right);
    // A submarine from the launch's three draws, and the launch timer's
    // interval shortened.
    void launch(int direction, int depth, int speedDraw);
    // A frame is about to show a negative score: it is raised to 0.
    void settle();
    // The rules' tick: everything moves, hits and escapes count.
    void advance();
    // One tick as whatever runs the game runs it: the rules' tick, and for
    // a game on the screen its frame.
    virtual void tick() { advance(); }

protected:
    // The last escape: the game ends with this score. Tells the listener and
    // marks the game over; a board shows its boxes first.
    virtual void endGame(int finalScore);
    void removeSub(int slot);
    void removeBomb(int slot);
    void releaseRecords();
    static BoardEvents* nobody();

    Rules::Sizes sizes;
    int subCount = 0;
    int bombCount = 0;
    int score = 0;
    int lives = 0;
    std::array<Sub*, MaxSubs> subs{};
    std::array<Bomb*, MaxBombs> bombs{};
    float destroyerX = 0.0f;
    float subInterval = 0.0f;
    float waterPhase = 0.0f;
    bool gameOver = false;
    bool leftPressed = false;
    bool rightPressed = false;
    int endedWith = -1; // the final score once over
    BoardEvents* events = nobody();

private:
    void dropBomb();
};

#endif
