#include "board/game.h"

#include "board/boardevents.h"
#include "board/bomb.h"
#include "board/sub.h"

#include <algorithm>

using namespace Rules;

namespace {

// A timer of 0 ms would fire on every pass of the event loop.
int timerInterval(float interval)
{
    return std::max(1, int(interval));
}

} // namespace

Game::Game(const Rules::Sizes& sizes)
    : sizes(sizes)
    , destroyerX(float(FieldWidth / 2 - sizes.destroyer.width() / 2))
{
}

Game::~Game()
{
    releaseRecords();
}

void Game::reset(int difficulty)
{
    releaseRecords();
    score = 0;
    lives = StartLives;
    // One millisecond per step of difficulty: the game mostly gets harder by itself.
    subInterval = float(EasyInterval - difficulty);
    gameOver = false;
    endedWith = -1;
}

void Game::place(float x, float phase)
{
    destroyerX = x;
    waterPhase = phase;
}

Game::Scene Game::scene() const
{
    // Whole pixels: a sprite stands where its position's whole part says.
    Scene s;
    s.water = int(waterPhase);
    s.destroyer = QPoint(int(destroyerX), DestroyerY);
    s.score = std::max(score, 0);
    s.lives = std::max(lives, 0);
    s.bombsToHand = MaxBombs - bombCount;
    for (int i = 0; i < subCount; ++i)
        s.subs.append(QPoint(int(subs[i]->x), int(subs[i]->y)));
    for (int i = 0; i < bombCount; ++i)
        s.bombs.append(QPoint(int(bombs[i]->x), int(bombs[i]->y)));
    return s;
}

int Game::finalScore() const
{
    return endedWith >= 0 ? endedWith : std::max(score, 0);
}

void Game::setEvents(BoardEvents* listener)
{
    events = listener ? listener : nobody();
}

BoardEvents* Game::nobody()
{
    // Hears everything and does nothing; it holds no state, so every thread
    // may share it.
    static BoardEvents listener;
    return &listener;
}

void Game::advance()
{
    // The destroyer; each bound is tested before its step, so it may end a step past it.
    if (leftPressed && destroyerX > 0.0f)
        destroyerX -= DestroyerStep;
    if (rightPressed && destroyerX + float(sizes.destroyer.width()) < float(FieldWidth))
        destroyerX += DestroyerStep;

    // Submarines. One that gets wholly off the field costs a life. Removal moves
    // the last record into the freed slot, which this scan then skips.
    for (int i = 0; i < subCount; ++i) {
        Sub* sub = subs[i];
        sub->x += sub->speed / TicksPerSecond;
        if (sub->x < -float(sizes.sub.width()) || sub->x > float(FieldWidth)) {
            removeSub(i);
            --lives;
            events->subEscaped();
            // The game ends once: a later escape in this pass only costs its life.
            if (lives < 0 && !gameOver) {
                endedWith = std::max(score, 0);
                endGame(endedWith);
            }
        }
    }

    // Bombs sink until they leave the field at the bottom.
    for (int i = 0; i < bombCount; ++i) {
        Bomb* bomb = bombs[i];
        bomb->y += bomb->speed / TicksPerSecond;
        if (bomb->y > float(FieldHeight))
            removeBomb(i);
    }

    // Hits. Each uses up one bomb and one submarine; the deeper the submarine,
    // the more it scores.
    const float bombWidth = float(sizes.bomb.width());
    const float bombHeight = float(sizes.bomb.height());
    const float subWidth = float(sizes.sub.width());
    const float subHeight = float(sizes.sub.height());
    for (int b = 0; b < bombCount; ++b) {
        for (int s = 0; s < subCount && b < bombCount; ++s) {
            const Bomb* bomb = bombs[b];
            const Sub* sub = subs[s];
            if (bomb->x + bombWidth - HitOverlap > sub->x && bomb->x < sub->x + subWidth - HitOverlap
                && bomb->y + bombHeight - HitDepth > sub->y && bomb->y < sub->y + subHeight - HitOverlap) {
                score += int(sub->y);
                events->subDestroyed(int(sub->y));
                removeBomb(b);
                removeSub(s);
            }
        }
    }

    // The sea: one of eight frames, each held for about ten ticks.
    waterPhase = float(double(waterPhase) + WaterStep);
    if (int(waterPhase) == WaterFrames)
        waterPhase -= float(WaterFrames);
}

void Game::endGame(int /*finalScore*/)
{
    events->gameOver();
    gameOver = true;
}

void Game::launch(int direction, int depth, int speedDraw)
{
    // A deep submarine is slow: depth / 8 comes off its speed.
    const float magnitude = float(speedDraw + SlowestBaseSpeed - depth / DepthPerSlowerPixel);

    // With every slot taken nothing is launched, but the draws and the shrinking
    // interval go on as if it had been.
    if (subCount < MaxSubs) {
        if (direction == 0)
            subs[subCount] = new Sub(FieldWidth, depth, -magnitude);
        else
            subs[subCount] = new Sub(-sizes.sub.width(), depth, magnitude);
        ++subCount;
    }

    subInterval = subInterval - subInterval / IntervalShrink;
}

int Game::launchInterval() const
{
    return timerInterval(subInterval);
}

void Game::dropBomb()
{
    Q_ASSERT(bombCount < MaxBombs);
    // Released under the destroyer's middle column; not centred by its own width.
    const int x = int(float(sizes.destroyer.width() / 2) + destroyerX);
    bombs[bombCount] = new Bomb(x, BombStartY, BombSpeed);
    ++bombCount;
}

void Game::fire()
{
    dropBomb();
    score -= BombCost;
    events->bombDropped();
}

void Game::steer(bool left, bool right)
{
    leftPressed = left;
    rightPressed = right;
}

void Game::settle()
{
    // Bombs dropped at 0 leave the score negative until a frame shows it;
    // the player never sees it below 0.
    if (score < 0)
        score = 0;
}

void Game::removeSub(int slot)
{
    delete subs[slot];
    --subCount;
    subs[slot] = subs[subCount];
    subs[subCount] = nullptr;
}

void Game::removeBomb(int slot)
{
    delete bombs[slot];
    --bombCount;
    bombs[slot] = bombs[bombCount];
    bombs[bombCount] = nullptr;
}

void Game::releaseRecords()
{
    for (int i = 0; i < subCount; ++i)
        delete subs[i];
    for (int i = 0; i < bombCount; ++i)
        delete bombs[i];
    subs.fill(nullptr);
    bombs.fill(nullptr);
    subCount = 0;
    bombCount = 0;
}
