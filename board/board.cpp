#include "board/board.h"

#include "board/boardevents.h"
#include "board/bomb.h"
#include "board/sub.h"
#include "highscore/highscoretable.h"
#include "highscore/keygrace.h"
#include "platform/handheldfont.h"
#include "platform/messageboxwidth.h"
#include "platform/resource.h"
#include "platform/widgetpainter.h"
#include "replay/replayshelf.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <QtMath>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

// "tick" and "frame" as they happen, for measuring the real program; off unless
// asked for (QT_LOGGING_RULES="marlovex.timing.debug=true").
Q_LOGGING_CATEGORY(lcTiming, "marlovex.timing", QtInfoMsg)

namespace {

constexpr int TickInterval = 20; // ms: 50 ticks a second
constexpr float TicksPerSecond = 50.0f;
constexpr float DestroyerStep = 2.0f;
constexpr int DestroyerY = 10;
constexpr double WaterStep = 0.1; // 80 ticks, 1.6 s, for the eight frames

constexpr int StartLives = 3;
constexpr int EasyInterval = 4500; // ms to the first launch of an easy game
constexpr float IntervalShrink = 150.0f;
// A launch: a depth from the shallowest to the deepest, and a speed of 36 to 55
// pixels a second less an eighth of the depth.
constexpr int SlowestBaseSpeed = 36;
constexpr int BaseSpeeds = 20;
constexpr int DepthPerSlowerPixel = 8;

constexpr int BombCost = 10;
constexpr int BombStartY = 40;
constexpr float BombSpeed = 30.0f;
// A hit needs more than this overlap on the sides and below...
constexpr float HitOverlap = 1.0f;
// ...and the bomb's lower edge this far below the submarine's top.
constexpr float HitDepth = 5.0f;

constexpr int ScoreX = 3;
constexpr int ScoreBaseline = 12;
constexpr int IconY = 3;
constexpr int IconGap = 3;
constexpr int EndBoxMinWidth = 110;
// Two changed areas are drawn and shown as one when that adds at most this many
// pixels; a sprite that moved at most this far is drawn again in one.
constexpr int JoinSlack = 2000;
constexpr int SmallMove = 4;

constexpr const char* ImageDir = "marlovex";
// Where a desktop build finds the pictures, relative to the working directory.
constexpr const char* DesktopRoot = "ipk/opt/QtPalmtop/pics";

// The frame buffer at a screen's pixel ratio, so that text stays sharp and the
// pictures are scaled by whole pixels on a high-density screen.
QPixmap frameBuffer(qreal ratio)
{
    QPixmap buffer(QSize(Board::FieldWidth, Board::FieldHeight) * ratio);
    buffer.setDevicePixelRatio(ratio);
    return buffer;
}

// True when the picture, drawn at an area's corner, paints all of an area this size.
bool covers(const QPixmap& picture, QSize area)
{
    return !picture.hasAlphaChannel() && picture.width() >= area.width() && picture.height() >= area.height();
}

// A row of icons at the top of the field; none when it has no width.
QRect iconRow(int x, int width, int height)
{
    return width > 0 ? QRect(x, IconY, width, height) : QRect();
}

// A timer of 0 ms would fire on every pass of the event loop.
int timerInterval(float interval)
{
    return std::max(1, int(interval));
}

// The notice's title, larger and bold, above its line.
QFont titleFont(const QFont& base)
{
    QFont font(base);
    font.setBold(true);
    if (font.pixelSize() > 0)
        font.setPixelSize(font.pixelSize() * 3 / 2);
    else
        font.setPointSizeF(font.pointSizeF() * 1.5);
    return font;
}

// Below a thousandth of a pixel, a scaled edge is whole.
constexpr qreal Fuzz = 0.001;

constexpr int NoticePadding = 6;
constexpr int NoticeY = 100; // its middle, in the sea below the destroyer
// A replay's sign: lighter, in plain lines, in the band below the surface
// that no submarine reaches.
constexpr int SignPadding = 2;
constexpr int SignAlpha = 150;

// A game's clock for its recording.
qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

Board::Board(QWidget* parent, const char* name, Qt::WindowFlags f)
    : Board(parent, f, nullptr)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    newGame(1);
}

Board::Board(const Recording& recording, QWidget* parent)
    : Board(parent, {}, &recording)
{
    setObjectName(QStringLiteral("replayBoard"));
    const Recording::Start& start = recording.start();
    score = 0;
    lives = StartLives;
    subInterval = float(EasyInterval - start.difficulty);
    destroyerX = start.destroyerX;
    waterPhase = start.waterPhase;
    leftPressed = start.left;
    rightPressed = start.right;
}

Board::Board(QWidget* parent, Qt::WindowFlags f, const Recording* toReplay)
    : QWidget(parent, f)
{
    // The handheld was told here to keep every picture ready for fast drawing;
    // Qt 6 stores a pixmap the best way for its screen by itself.

    for (int i = 0; i < WaterFrames; ++i)
        waterPix[i] = loadImage(qPrintable(QString::asprintf("water%d", i + 1)));
    skyPix = loadImage("sky");
    destroyerPix = loadImage("destroyer");
    livesPix = loadImage("lives");
    subPix = loadImage("sub");
    bombPix = loadImage("bomb");

    if (toReplay) {
        // A game played before: nothing of it goes to the list.
        replay.emplace(*toReplay);
    } else {
        highScores = new HighScoreTable(this, "Marlovex");
        replays = new ReplayShelf();
        highScores->afterWrite = [this](const QList<HighScoreTable::Entry>& list, int ownPlace) {
            replays->listWritten(list, ownPlace);
        };
    }

    destroyerX = float(FieldWidth / 2 - destroyerPix.width() / 2);
    setFocusPolicy(Qt::StrongFocus);
    // Every frame covers the whole field; nothing needs clearing first.
    setAttribute(Qt::WA_OpaquePaintEvent);

    buffer = new QPixmap(frameBuffer(devicePixelRatioF()));
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
    // A game left running is kept as the last one, unless nobody played it.
    if (!replays || !recording.isOpen() || !recording.hasPlayerInput())
        return;
    recording.close(false, std::max(score, 0), now());
    replays->gameEnded(recording, false);
}

void Board::newGame(int difficulty)
{
    if (replay)
        return;
    keepRecording();
    recording = Recording({difficulty, destroyerX, waterPhase, leftPressed, rightPressed});
    releaseRecords();
    score = 0;
    lives = StartLives;
    // One millisecond per step of difficulty: the game mostly gets harder by itself.
    subInterval = float(EasyInterval - difficulty);
    gameOver = false;
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
    if (gameOver || replayDone)
        return;
    mainTimer->start(replay ? TickInterval / replaySpeed : TickInterval);
    // A replay's launches come from its recording.
    if (!replay)
        newSubTimer->start(timerInterval(subInterval));
    events->paused(false);
    refresh();
}

void Board::setNotices(const QStringList& whilePaused, const QStringList& whenOver)
{
    pausedNotice = whilePaused;
    overNotice = whenOver;
    shown.notice = nullptr;
    shown.noticeArea = QRect(0, 0, FieldWidth, FieldHeight); // drawn again wherever it was
    refresh();
}

void Board::refresh()
{
    if (isVisible() && buffer)
        showChanges(updateFrame());
}

bool Board::isRunning() const
{
    return mainTimer->isActive();
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
    if (replay) {
        if (!replayToTick()) {
            finishReplay();
            return;
        }
    } else {
        recording.tick();
    }

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
    if (isVisible())
        showChanges(updateFrame());
    if (replay && gameOver)
        finishReplay();
    qCDebug(lcTiming, "tick");
}

void Board::endGame()
{
    // No notice behind the boxes of the game's end; the one that says how to
    // go on comes after them.
    ending = !replay;
    pauseGame();
    events->gameOver();

    // A bomb dropped at 0 since the last frame leaves the score below zero for
    // a moment; the player never saw that on the screen.
    const int finalScore = std::max(score, 0);
    if (replay) {
        // No boxes and no list: the game as it was, to its end.
        gameOver = true;
        replayScore = finalScore;
        return;
    }
    recording.close(true, finalScore, now());
    replays->gameEnded(recording, highScores->qualifies(finalScore));
    QPointer<QMessageBox> box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("endBox"));
    box->setText(QString::asprintf("<center><b>Game Over</b><BR> Your final score: %d</center>", finalScore));
    box->setMinimumWidth(EndBoxMinWidth);
    MessageBoxWidth::keep(box);
    KeyGrace::apply(box);
    box->exec();
    delete box;

    gameOver = true;
    if (highScores->qualifies(finalScore))
        events->placeEarned();
    highScores->checkScore(finalScore);
    ending = false;
    refresh();
}

void Board::newSub()
{
    const int direction = rand() % 2;
    const int depth = rand() % (DeepestDepth - ShallowestDepth + 1) + ShallowestDepth;
    const int speedDraw = rand() % BaseSpeeds;
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
    if (replay) {
        replayKey(e);
        return;
    }
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
    if (e->isAutoRepeat() || replay)
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
    if (!replay)
        steer(false, false);
    QWidget::focusOutEvent(e);
}

void Board::replayKey(QKeyEvent* e)
{
    // Only the speeds and the way out; the keys of play do nothing here.
    switch (e->key()) {
    case Qt::Key_1:
    case Qt::Key_2:
    case Qt::Key_4:
        setReplaySpeed(e->key() - Qt::Key_0);
        break;
    case Qt::Key_Escape:
        if (replayStop)
            replayStop();
        break;
    default:
        break;
    }
}

void Board::setReplaySpeed(int speed)
{
    replaySpeed = speed;
    if (mainTimer->isActive())
        mainTimer->start(TickInterval / replaySpeed);
    showSign();
}

bool Board::replayToTick()
{
    // What came before the next tick, in its order; false once the recording
    // is over or no longer fits the game.
    Recording::Event e;
    while (ticksToRun == 0) {
        if (!replay->next(replayAt, e))
            return false;
        switch (e.kind) {
        case Recording::Event::Ticks:
            ticksToRun = e.ticks;
            break;
        case Recording::Event::Steer:
            leftPressed = e.left;
            rightPressed = e.right;
            break;
        case Recording::Event::Fire:
            if (bombCount >= MaxBombs) {
                replayFault = QStringLiteral("a bomb dropped with three falling");
                return false;
            }
            fire();
            break;
        case Recording::Event::Launch:
            launch(e.direction, e.depth, e.speedDraw);
            break;
        case Recording::Event::Settle:
            if (score >= 0) {
                replayFault = QStringLiteral("a score of %1 raised to 0").arg(score);
                return false;
            }
            score = 0;
            break;
        }
    }
    --ticksToRun;
    return true;
}

void Board::finishReplay()
{
    if (replayDone)
        return;
    replayDone = true;
    mainTimer->stop();
    // The tick that ended the game ends its recording too.
    Recording::Event e;
    if (replayFault.isEmpty() && gameOver && (ticksToRun > 0 || replay->next(replayAt, e)))
        replayFault = QStringLiteral("events after the game ended");
    if (replayFault.isEmpty() && replay->isFinished() != gameOver)
        replayFault = gameOver ? QStringLiteral("the game ended before its recording")
                               : QStringLiteral("the recording ends before the game did");
    if (!gameOver)
        replayScore = std::max(score, 0);
    events->paused(true);
    showSign();
}

bool Board::stepReplay()
{
    if (!replay || replayDone)
        return false;
    gameLogic();
    return !replayDone;
}

void Board::setSign(const QStringList& lines)
{
    sign = lines;
    showSign();
}

void Board::showSign()
{
    // Made when it changes, not at every frame.
    shownSign = sign;
    if (!sign.isEmpty())
        shownSign.append(replayDone ? QStringLiteral("Replay over · Esc: back to the game")
                                    : QStringLiteral("%1x · 1, 2, 4: speed · Esc: stop").arg(replaySpeed));
    ++noticeVersion;
    refresh();
}

void Board::paintEvent(QPaintEvent* e)
{
    // What this brings up to date beyond the event's region (a bomb dropped
    // since the last tick, say) is shown by the paint that follows.
    QRegion unseen;
    for (const QRect& r : updateFrame())
        unseen += toLogical(onDevice(r)).toAlignedRect();
    unseen -= e->region();
    if (!unseen.isEmpty())
        update(unseen);
    const QRect field = fieldOnDevice();
    QPainter painter(this);
    for (const QRect& r : e->region()) {
        // In whole pixels of the screen, on which the field starts whatever
        // the scale: black around it where the widget is larger.
        const QRect device = deviceCover(r);
        for (const QRect& band : QRegion(device) - field)
            painter.fillRect(toLogical(band), Qt::black);
        if (const QRect inside = device & field; !inside.isEmpty())
            drawBuffer(painter, inside);
    }
    qCDebug(lcTiming, "frame");
}

void Board::drawBuffer(QPainter& painter, const QRect& device) const
{
    // The buffer has a pixel for each of the screen's: copied one to one.
    painter.drawPixmap(toLogical(device), *buffer, QRectF(device.translated(-fieldOnDevice().topLeft())));
}

void Board::showChanges(const Rects& changed)
{
    if (changed.isEmpty())
        return;
    Rects areas;
    QRegion region;
    for (const QRect& r : changed) {
        areas.append(onDevice(r));
        region += toLogical(areas.back()).toAlignedRect();
    }
    WidgetPainter painter(this, region);
    if (!painter.isActive()) {
        repaint(region);
        return;
    }
    for (const QRect& r : std::as_const(areas))
        drawBuffer(*painter, r);
}

QSize Board::deviceSize() const
{
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

QRect Board::onDevice(const QRect& inField) const
{
    return QRect(fieldOnDevice().topLeft() + inField.topLeft() * zoom(), inField.size() * zoom());
}

QRectF Board::toLogical(const QRect& device) const
{
    const qreal ratio = devicePixelRatioF();
    return QRectF(device.x() / ratio, device.y() / ratio, device.width() / ratio, device.height() / ratio);
}

QRect Board::deviceCover(const QRect& logical) const
{
    const qreal ratio = devicePixelRatioF();
    const QPoint from(qFloor(logical.x() * ratio + Fuzz), qFloor(logical.y() * ratio + Fuzz));
    const QPoint to(qCeil((logical.x() + logical.width()) * ratio - Fuzz), qCeil((logical.y() + logical.height()) * ratio - Fuzz));
    return QRect(from, to - QPoint(1, 1)) & QRect(QPoint(), deviceSize());
}

int Board::zoom() const
{
    const QSize device = deviceSize();
    return std::max(1, std::min(device.width() / FieldWidth, device.height() / FieldHeight));
}

QRect Board::fieldOnDevice() const
{
    const QSize device = deviceSize();
    const QSize size = QSize(FieldWidth, FieldHeight) * zoom();
    return QRect(QPoint((device.width() - size.width()) / 2, (device.height() - size.height()) / 2), size);
}

Board::Frame Board::frameNow(QPainter& painter)
{
    // The score and the notices in the handheld's sizes, scaled with the field.
    painter.setFont(HandheldFont::of(painter.font()));
    // Bombs dropped at 0 leave the score negative until here; it stays at 0.
    // A replay raises it where its recording says the game did.
    if (score < 0 && !replay) {
        score = 0;
        recording.settle();
    }
    Frame frame;
    frame.water = int(waterPhase);
    frame.destroyer = QRect(QPoint(int(destroyerX), DestroyerY), destroyerPix.size());
    frame.score = scoreText.place(painter, ScoreX, ScoreBaseline, std::max(score, 0));
    frame.scoreVersion = scoreText.version();
    // The lives left, centred on the middle of the field, each icon with its
    // gap; the bombs still to hand, from the right edge leftwards.
    const int livesWidth = std::max(lives, 0) * (livesPix.width() + IconGap);
    frame.lifeIcons = iconRow(FieldWidth / 2 - livesWidth / 2, livesWidth, livesPix.height());
    const int bombsWidth = (MaxBombs - bombCount) * (bombPix.width() + IconGap);
    frame.bombIcons = iconRow(FieldWidth - bombsWidth, bombsWidth, bombPix.height());
    frame.subCount = subCount;
    for (int i = 0; i < subCount; ++i)
        frame.subs[i] = QRect(QPoint(int(subs[i]->x), int(subs[i]->y)), subPix.size());
    frame.bombCount = bombCount;
    for (int i = 0; i < bombCount; ++i)
        frame.bombs[i] = QRect(QPoint(int(bombs[i]->x), int(bombs[i]->y)), bombPix.size());
    frame.notice = noticeNow();
    frame.noticeVersion = noticeVersion;
    if (frame.notice)
        frame.noticeArea = noticeArea(painter, *frame.notice);
    return frame;
}

const QStringList* Board::noticeNow() const
{
    if (replay)
        return shownSign.isEmpty() ? nullptr : &shownSign;
    if (ending)
        return nullptr;
    const QStringList& notice = gameOver ? overNotice : pausedNotice;
    if (notice.isEmpty() || (!gameOver && mainTimer->isActive()))
        return nullptr;
    return &notice;
}

QRect Board::noticeArea(const QPainter& painter, const QStringList& notice) const
{
    const QFontMetrics title(replay ? painter.font() : titleFont(painter.font()), painter.device());
    const QFontMetrics line(painter.font(), painter.device());
    int width = 0, height = 0;
    for (int i = 0; i < notice.size(); ++i) {
        const QFontMetrics& metrics = i == 0 ? title : line;
        width = std::max(width, metrics.horizontalAdvance(notice[i]));
        height += metrics.height();
    }
    const int padding = replay ? SignPadding : NoticePadding;
    const QSize size(std::min(FieldWidth, width + 2 * padding), height + 2 * padding);
    const int top = replay ? WaterY + SignPadding : NoticeY - size.height() / 2;
    return QRect(QPoint((FieldWidth - size.width()) / 2, top), size);
}

void Board::drawNotice(QPainter& painter, const QStringList& notice, const QRect& at) const
{
    // A dark panel on the sea, white writing: as the score, drawn at the
    // screen's own resolution.
    painter.fillRect(at, QColor(0, 0, 32, replay ? SignAlpha : 200));
    painter.setPen(QColor(255, 255, 255));
    painter.drawRect(at.adjusted(0, 0, -1, -1));
    const QFont base = painter.font();
    int y = at.top() + (replay ? SignPadding : NoticePadding);
    for (int i = 0; i < notice.size(); ++i) {
        painter.setFont(i == 0 && !replay ? titleFont(base) : base);
        const int height = QFontMetrics(painter.font(), painter.device()).height();
        painter.drawText(QRect(at.left(), y, at.width(), height), Qt::AlignHCenter | Qt::AlignTop, notice[i]);
        y += height;
    }
    painter.setFont(base);
    painter.setPen(QPen());
}

Board::Rects Board::changedSince(const Frame& before, const Frame& now) const
{
    const QRect whole(0, 0, FieldWidth, FieldHeight);
    if (before.water != now.water)
        return {whole};
    Rects changed;
    // Where a sprite moved a little, one rectangle covers both its places.
    auto both = [&changed](const QRect& a, const QRect& b) {
        if (a == b)
            return;
        if (a.isEmpty() || b.isEmpty() || !a.adjusted(-SmallMove, -SmallMove, SmallMove, SmallMove).intersects(b)) {
            changed.append(a);
            changed.append(b);
        } else {
            changed.append(a.united(b));
        }
    };
    both(before.destroyer, now.destroyer);
    if (before.scoreVersion != now.scoreVersion || before.score != now.score)
        changed.append(before.score.united(now.score));
    // The icon rows, whole, when their number changes.
    if (before.lifeIcons != now.lifeIcons)
        changed.append(before.lifeIcons | now.lifeIcons);
    if (before.bombIcons != now.bombIcons)
        changed.append(before.bombIcons | now.bombIcons);
    if (before.notice != now.notice || before.noticeArea != now.noticeArea || before.noticeVersion != now.noticeVersion)
        changed.append((before.notice || !before.noticeArea.isEmpty() ? before.noticeArea : QRect())
                       | (now.notice ? now.noticeArea : QRect()));
    // Slot by slot: where a slot's sprite is unchanged, so is everything drawn
    // over and under it that is unchanged too, in the same order.
    for (int i = 0; i < std::max(before.subCount, now.subCount); ++i)
        both(i < before.subCount ? before.subs[i] : QRect(), i < now.subCount ? now.subs[i] : QRect());
    for (int i = 0; i < std::max(before.bombCount, now.bombCount); ++i)
        both(i < before.bombCount ? before.bombs[i] : QRect(), i < now.bombCount ? now.bombs[i] : QRect());

    // Overlapping rectangles become one, so that nothing is drawn twice, and so
    // do those whose union is not much larger: each rectangle costs about as
    // much as copying a thousand pixels more.
    auto join = [](const QRect& a, const QRect& b) {
        const QRect both = a.united(b);
        return a.intersects(b) || both.width() * both.height() - a.width() * a.height() - b.width() * b.height() <= JoinSlack;
    };
    for (int i = 0; i < changed.size(); ++i) {
        changed[i] &= whole;
        for (int j = 0; j < i; ++j) {
            if (join(changed[j], changed[i])) {
                changed[j] |= changed[i];
                changed.remove(i);
                i = -1; // a grown one may now meet an earlier one
                break;
            }
        }
        if (i >= 0 && changed[i].isEmpty())
            changed.remove(i--);
    }
    return changed;
}

Board::Rects Board::updateFrame()
{
    // A new buffer for a new size or a screen of another pixel ratio: a pixel
    // of it for each of the screen's.
    const qreal ratio = zoom();
    if (buffer->devicePixelRatio() != ratio) {
        *buffer = frameBuffer(ratio);
        shown = Frame();
    }
    QPainter painter(buffer);
    const Frame now = frameNow(painter);
    const Rects changed = changedSince(shown, now);
    for (const QRect& area : changed)
        drawFrame(painter, now, area);
    shown = now;
    return changed;
}

void Board::drawFrame(QPainter& painter, const Frame& frame, const QRect& area)
{
    // Sky and water together cover the field; where one is missing or short,
    // black, so that no earlier frame shows through.
    const QPixmap& water = waterPix[frame.water];
    if (!covers(skyPix, QSize(FieldWidth, WaterY)) || !covers(water, QSize(FieldWidth, FieldHeight - WaterY)))
        painter.fillRect(area, Qt::black);
    const QRect sky = area & skyPix.rect();
    if (!sky.isEmpty())
        painter.drawPixmap(sky.topLeft(), skyPix, sky);
    const QRect wet = area & QRect(QPoint(0, WaterY), water.size());
    if (!wet.isEmpty())
        painter.drawPixmap(wet.topLeft(), water, wet.translated(0, -WaterY));

    // Clipped only where a sprite reaches out of the area: the rest of it is
    // right already, and may lie under another.
    auto sprite = [&painter, &area](const QRect& at, const QPixmap& picture) {
        if (!at.intersects(area))
            return;
        if (area.contains(at)) {
            painter.drawPixmap(at.topLeft(), picture);
            return;
        }
        painter.setClipRect(area);
        painter.drawPixmap(at.topLeft(), picture);
        painter.setClipping(false);
    };

    sprite(frame.destroyer, destroyerPix);
    if (frame.score.intersects(area)) {
        painter.setClipRect(area);
        scoreText.draw(painter);
        painter.setClipping(false);
    }

    // A row of icons, each with its gap after it.
    auto icons = [&sprite](const QRect& row, const QPixmap& picture) {
        for (int x = row.x(); x < row.x() + row.width(); x += picture.width() + IconGap)
            sprite(QRect(QPoint(x, IconY), picture.size()), picture);
    };
    icons(frame.lifeIcons, livesPix);

    for (int i = 0; i < frame.subCount; ++i)
        sprite(frame.subs[i], subPix);
    for (int i = 0; i < frame.bombCount; ++i)
        sprite(frame.bombs[i], bombPix);

    icons(frame.bombIcons, bombPix);

    if (frame.notice && frame.noticeArea.intersects(area)) {
        painter.setClipRect(area);
        drawNotice(painter, *frame.notice, frame.noticeArea);
        painter.setClipping(false);
    }
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

QPixmap Board::loadImage(const char* name)
{
    // An X11 session means a desktop build: the pictures lie in the package tree
    // below the working directory instead of the handheld's resources.
    const QString resource = QString::asprintf("%s/%s", ImageDir, name);
    if (!std::getenv("XAUTHORITY"))
        return Resource::loadPixmap(resource);

    const QString path = QString::asprintf("%s/%s/%s.png", DesktopRoot, ImageDir, name);
    QPixmap pixmap;
    if (!pixmap.load(path)) {
        std::printf("Couldn't load %s\n", qPrintable(path));
        std::fflush(stdout);
        // Started from any other folder, the game still has its own copies.
        pixmap = Resource::loadPixmap(resource);
    }
    return pixmap;
}
