#include "board/board.h"

#include "board/boardevents.h"
#include "board/bomb.h"
#include "board/sub.h"
#include "online/scoresharer.h"
#include "highscore/highscoretable.h"
#include "highscore/keygrace.h"
#include "platform/inwindowdialog.h"
#include "platform/messageboxwidth.h"
#include "replay/replayshelf.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <utility>

// "tick" and "frame" as they happen, for measuring the real program; off unless
// asked for (QT_LOGGING_RULES="marlovex.timing.debug=true").
Q_LOGGING_CATEGORY(lcTiming, "marlovex.timing", QtInfoMsg)

using namespace Rules;

namespace {

constexpr int EndBoxMinWidth = 110;

// A timer of 0 ms would fire on every pass of the event loop.
int timerInterval(float interval)
{
    return std::max(1, int(interval));
}

// A game's clock for its recording.
qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

Board::Board(QWidget* parent, const char* name, Qt::WindowFlags f, const Pictures& pictures)
    : QWidget(parent, f)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setUp(pictures);
    highScores = new HighScoreTable(this, "Marlovex");
    replays = new ReplayShelf();
    highScores->afterWrite = [this](const QList<HighScoreTable::Entry>& list, int ownPlace) {
        replays->listWritten(list, ownPlace);
    };
    newGame(1);
}

Board::Board(const Pictures& pictures, QWidget* parent)
    : QWidget(parent)
{
    setUp(pictures);
}

void Board::setUp(const Pictures& pictures)
{
    // The handheld was told here to keep every picture ready for fast drawing;
    // Qt 6 stores a pixmap the best way for its screen by itself.
    waterPix = pictures.water;
    skyPix = pictures.sky;
    destroyerPix = pictures.destroyer;
    livesPix = pictures.lives;
    subPix = pictures.sub;
    bombPix = pictures.bomb;

    destroyerX = float(FieldWidth / 2 - destroyerPix.width() / 2);
    setFocusPolicy(Qt::StrongFocus);
    // Every frame covers the whole field; nothing needs clearing first.
    setAttribute(Qt::WA_OpaquePaintEvent);

    buffer = new QPixmap(FramePainter::newBuffer(devicePixelRatioF()));
    resize(FieldWidth, FieldHeight);

    mainTimer = new QTimer(this);
    mainTimer->setObjectName(QStringLiteral("mainTimer"));
    // A coarse timer may drift by up to 5 %, and the game's clock is the tick.
    mainTimer->setTimerType(Qt::PreciseTimer);
    mainTimer->setInterval(TickInterval);
    connect(mainTimer, &QTimer::timeout, this, &Board::gameLogic);

    newSubTimer = new QTimer(this);
    newSubTimer->setObjectName(QStringLiteral("newSubTimer"));
    connect(newSubTimer, &QTimer::timeout, this, &Board::newSub);
}

Board::~Board()
{
    keepRecording();
    // Closing the table writes the list to its settings file.
    delete highScores;
    delete replays;
    releaseRecords();
    delete buffer;
}

void Board::keepRecording()
{
    // Not a game that nobody played: the first one runs by itself at start-up.
    if (!replays || !recording.isOpen() || !recording.hasPlayerInput())
        return;
    // A copy: the game may go on (a session saved, a logout cancelled), and
    // its recording with it.
    Recording sofar = recording;
    sofar.close(false, std::max(score, 0), now());
    replays->gameEnded(sofar, false);
}

void Board::newGame(int difficulty)
{
    keepRecording();
    Sea sea = Sea::current();
    if (nextSea) {
        // Dealt: every submarine of this game is the deal's, from its first draw.
        sea = *std::exchange(nextSea, std::nullopt);
        sea.drawsBefore = 0;
        Sea::seedGenerator(sea.seed);
    }
    recording = Recording({difficulty, destroyerX, waterPhase, leftPressed, rightPressed,
                           {destroyerPix.size(), subPix.size(), bombPix.size()}, sea});
    recordedSea = sea;
    releaseRecords();
    score = 0;
    lives = StartLives;
    // One millisecond per step of difficulty: the game mostly gets harder by itself.
    subInterval = float(EasyInterval - difficulty);
    gameOver = false;
    resumeGame();
}

void Board::startDriven(const Recording::Start& start)
{
    releaseRecords();
    score = 0;
    lives = StartLives;
    subInterval = float(EasyInterval - start.difficulty);
    destroyerX = start.destroyerX;
    waterPhase = start.waterPhase;
    leftPressed = start.left;
    rightPressed = start.right;
    gameOver = false;
}

void Board::pauseGame()
{
    mainTimer->stop();
    newSubTimer->stop();
    events->paused(true);
    refresh();
}

void Board::resumeGame()
{
    if (gameOver)
        return;
    mainTimer->start(TickInterval);
    newSubTimer->start(timerInterval(subInterval));
    events->paused(false);
    refresh();
}

void Board::setNotices(const QStringList& whilePaused, const QStringList& whenOver)
{
    pausedNotice = whilePaused;
    overNotice = whenOver;
    frames.noticeChanged();
    refresh();
}

void Board::setSign(const QStringList& lines)
{
    sign = lines;
    frames.noticeChanged();
    refresh();
}

void Board::refresh()
{
    frames.showNow();
}

bool Board::isRunning() const
{
    return mainTimer->isActive();
}

Board::Scene Board::scene() const
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

void Board::setEvents(BoardEvents* listener)
{
    events = listener ? listener : nobody();
}

BoardEvents* Board::nobody()
{
    // Hears everything and does nothing.
    static BoardEvents listener;
    return &listener;
}

void Board::gameLogic()
{
    recording.tick();

    // The destroyer; each bound is tested before its step, so it may end a step past it.
    if (leftPressed && destroyerX > 0.0f)
        destroyerX -= DestroyerStep;
    if (rightPressed && destroyerX + float(destroyerPix.width()) < float(FieldWidth))
        destroyerX += DestroyerStep;

    // Submarines. One that gets wholly off the field costs a life. Removal moves
    // the last record into the freed slot, which this scan then skips.
    for (int i = 0; i < subCount; ++i) {
        Sub* sub = subs[i];
        sub->x += sub->speed / TicksPerSecond;
        if (sub->x < -float(subPix.width()) || sub->x > float(FieldWidth)) {
            removeSub(i);
            --lives;
            events->subEscaped();
            // The game ends once: a later escape in this pass only costs its life.
            if (lives < 0 && !gameOver)
                endGame();
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
    const float bombWidth = float(bombPix.width());
    const float bombHeight = float(bombPix.height());
    const float subWidth = float(subPix.width());
    const float subHeight = float(subPix.height());
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

    // The frame, drawn now rather than queued; only what changed is drawn and
    // shown again.
    frames.showNow();
    qCDebug(lcTiming, "tick");
}

void Board::endGame()
{
    // The last tick ends the recording before anything draws a frame: a frame
    // after the game's end changes nothing it holds.
    const int finalScore = std::max(score, 0);
    recording.close(true, finalScore, now());
    // No notice behind the boxes of the game's end; the one that says how to
    // go on comes after them.
    ending = true;
    pauseGame();
    events->gameOver();
    closeGame(finalScore);
    gameOver = true;
    ending = false;
    refresh();
}

void Board::closeGame(int finalScore)
{
    const bool earned = highScores->qualifies(finalScore);
    replays->gameEnded(recording, earned);
    if (sharer)
        sharer->gameEnded(recording);
    highScores->enterScore(finalScore);
    QPointer<QMessageBox> box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("endBox"));
    box->setText(QString::asprintf("<center><b>Game Over</b><BR> Your final score: %d</center>", finalScore));
    box->setMinimumWidth(EndBoxMinWidth);
    MessageBoxWidth::keep(box);
    KeyGrace::apply(box);
    {
        const InWindowDialog inWindow(box);
        box->exec();
    }
    delete box;

    gameOver = true;
    if (earned)
        events->placeEarned();
    highScores->checkScore(finalScore);
}

void Board::newSub()
{
    // The system's rand(), counted, so that the recording can name its sea;
    // a generator seeded anew since the game began draws from another.
    if (const Sea now = Sea::current(); now.seed != recordedSea.seed || now.drawsBefore != recordedSea.drawsBefore)
        recording.forgetSea();
    recordedSea.drawsBefore += 3;
    const int direction = Sea::draw() % 2;
    const int depth = Sea::draw() % (DeepestDepth - ShallowestDepth + 1) + ShallowestDepth;
    const int speedDraw = Sea::draw() % SpeedDraws;
    recording.launch(direction, depth, speedDraw);
    launch(direction, depth, speedDraw);
}

void Board::launch(int direction, int depth, int speedDraw)
{
    // A deep submarine is slow: depth / 8 comes off its speed.
    const float magnitude = float(speedDraw + SlowestBaseSpeed - depth / DepthPerSlowerPixel);

    // With every slot taken nothing is launched, but the draws and the shrinking
    // interval go on as if it had been.
    if (subCount < MaxSubs) {
        if (direction == 0)
            subs[subCount] = new Sub(FieldWidth, depth, -magnitude);
        else
            subs[subCount] = new Sub(-subPix.width(), depth, magnitude);
        ++subCount;
    }

    subInterval = subInterval - subInterval / IntervalShrink;
    newSubTimer->setInterval(timerInterval(subInterval));
}

int Board::launchInterval() const
{
    return timerInterval(subInterval);
}

void Board::dropBomb()
{
    Q_ASSERT(bombCount < MaxBombs);
    // Released under the destroyer's middle column; not centred by its own width.
    const int x = int(float(destroyerPix.width() / 2) + destroyerX);
    bombs[bombCount] = new Bomb(x, BombStartY, BombSpeed);
    ++bombCount;
}

void Board::fire()
{
    dropBomb();
    score -= BombCost;
    events->bombDropped();
}

void Board::steer(bool left, bool right)
{
    if (left == leftPressed && right == rightPressed)
        return;
    leftPressed = left;
    rightPressed = right;
    recording.steer(left, right);
}

void Board::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Left:
        steer(true, rightPressed);
        break;
    case Qt::Key_Right:
        steer(leftPressed, true);
        break;
    case Qt::Key_Return:
    case Qt::Key_Control:
        // Auto-repeat keeps firing while fewer than three bombs are falling.
        if (bombCount < MaxBombs) {
            recording.fire();
            fire();
        }
        break;
    default:
        break;
    }
}

void Board::keyReleaseEvent(QKeyEvent* e)
{
    // The key is still held: an auto-repeat release is followed at once by a press.
    if (e->isAutoRepeat())
        return;
    if (e->key() == Qt::Key_Left)
        steer(false, rightPressed);
    else if (e->key() == Qt::Key_Right)
        steer(leftPressed, false);
}

void Board::focusOutEvent(QFocusEvent* e)
{
    // A key released while another window has the keyboard never reaches us; it
    // must not leave the destroyer driving by itself.
    steer(false, false);
    QWidget::focusOutEvent(e);
}

void Board::settleForFrame()
{
    // Bombs dropped at 0 leave the score negative until a frame shows it;
    // the player never sees it below 0.
    if (score < 0) {
        score = 0;
        recording.settle();
    }
}

void Board::paintEvent(QPaintEvent* e)
{
    frames.paint(e);
}

void Board::removeSub(int slot)
{
    delete subs[slot];
    --subCount;
    subs[slot] = subs[subCount];
    subs[subCount] = nullptr;
}

void Board::removeBomb(int slot)
{
    delete bombs[slot];
    --bombCount;
    bombs[slot] = bombs[bombCount];
    bombs[bombCount] = nullptr;
}

void Board::releaseRecords()
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
