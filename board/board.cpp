#include "board/board.h"

#include "board/boardevents.h"
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

// A game's clock for its recording.
qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

Board::Board(QWidget* parent, const char* name, Qt::WindowFlags f, const Pictures& pictures)
    : QWidget(parent, f)
    , Game(pictures.sizes())
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
    , Game(pictures.sizes())
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
    recording = Recording({difficulty, destroyerX, waterPhase, leftPressed, rightPressed, sizes, sea});
    recordedSea = sea;
    reset(difficulty);
    resumeGame();
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
    newSubTimer->start(launchInterval());
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

void Board::gameLogic()
{
    recording.tick();
    advance();
    // The frame, drawn now rather than queued; only what changed is drawn and
    // shown again.
    frames.showNow();
    qCDebug(lcTiming, "tick");
}

void Board::endGame(int finalScore)
{
    // The last tick ends the recording before anything draws a frame: a frame
    // after the game's end changes nothing it holds.
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
    emit gameFinished(recording);
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
    newSubTimer->setInterval(launchInterval());
}

void Board::steerAndRecord(bool left, bool right)
{
    if (left == leftPressed && right == rightPressed)
        return;
    steer(left, right);
    recording.steer(left, right);
}

void Board::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Left:
        steerAndRecord(true, rightPressed);
        break;
    case Qt::Key_Right:
        steerAndRecord(leftPressed, true);
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
        steerAndRecord(false, rightPressed);
    else if (e->key() == Qt::Key_Right)
        steerAndRecord(leftPressed, false);
}

void Board::focusOutEvent(QFocusEvent* e)
{
    // A key released while another window has the keyboard never reaches us; it
    // must not leave the destroyer driving by itself.
    steerAndRecord(false, false);
    QWidget::focusOutEvent(e);
}

void Board::settleForFrame()
{
    // Bombs dropped at 0 leave the score negative until a frame shows it;
    // the player never sees it below 0.
    if (score < 0) {
        settle();
        recording.settle();
    }
}

void Board::paintEvent(QPaintEvent* e)
{
    frames.paint(e);
}
