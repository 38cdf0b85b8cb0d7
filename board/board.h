#ifndef BOARD_H
#define BOARD_H

#include "board/scoretext.h"
#include "replay/recording.h"

#include <QPixmap>
#include <QStringList>
#include <QVarLengthArray>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class Bomb;
class BoardEvents;
class HighScoreTable;
class QTimer;
class ReplayShelf;
class Sub;

// The playing field and the whole game: the destroyer, the submarines and the
// bombs, score and lives, the tick that moves them and the frame that shows them.
class Board : public QWidget
{
    Q_OBJECT

public:
    // The field, in pixels, with the sea below the sky from WaterY down.
    static constexpr int FieldWidth = 240;
    static constexpr int FieldHeight = 265;
    static constexpr int WaterY = 40;
    static constexpr int WaterFrames = 8;
    // Submarines alive at once, and bombs falling at once.
    static constexpr int MaxSubs = 20;
    static constexpr int MaxBombs = 3;
    // A submarine runs at a depth (its y) from the shallowest to the deepest.
    static constexpr int ShallowestDepth = 60;
    static constexpr int DeepestDepth = 249;

    explicit Board(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {});
    // A board that plays a recorded game again, from resumeGame() or tick by
    // tick with stepReplay(); it has no list and keeps nothing.
    explicit Board(const Recording& recording, QWidget* parent = nullptr);
    ~Board() override;

    // A new game at difficulty 0 (easy), 1 (normal) or 2 (hard), running at once.
    void newGame(int difficulty);
    void pauseGame();
    // Does nothing once the game is over.
    void resumeGame();
    // The game's timers run: neither paused nor over.
    bool isRunning() const;
    // Who is told what happens; nobody when null.
    void setEvents(BoardEvents* listener);
    // What the field says over the game while it is paused, and once it is
    // over: a title and a line on how to go on. Nothing unless given.
    void setNotices(const QStringList& whilePaused, const QStringList& whenOver);

    // Finds a picture by its base name ("sky", "water3"). Uses no board state.
    static QPixmap loadImage(const char* name);

    // The game being played as recorded so far.
    const Recording& currentRecording() const { return recording; }
    // A game left running is kept as the last one played (the program ends).
    void keepRecording();

    // A replay: one tick and what came before it; false once it is over.
    bool stepReplay();
    bool replayIsOver() const { return replayDone; }
    // Why the recording does not fit the game; empty when it does.
    QString replayMismatch() const { return replayFault; }
    // The final score as replayed, once over.
    int replayedScore() const { return replayScore; }
    bool replayedGameEnded() const { return gameOver; }
    // Ticks run 1, 2 or 4 times as fast.
    void setReplaySpeed(int speed);
    // The sign over a replay: a title and lines, with the speed below them.
    void setSign(const QStringList& lines);
    // Escape was pressed during a replay.
    std::function<void()> replayStop;

    HighScoreTable* highScores = nullptr;
    // Where the recordings of the list's games are kept; none for a replay.
    ReplayShelf* replays = nullptr;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private slots:
    void gameLogic();
    void newSub();

private:
    friend struct BoardAccess;

    // What a frame shows, and where, in field pixels.
    struct Frame {
        int water = -1; // the water frame shown; -1: nothing shown yet
        QRect destroyer;
        QRect score;
        int scoreVersion = 0;
        QRect lifeIcons; // the row of them, gaps included
        QRect bombIcons; // the bombs still to hand
        int subCount = 0;
        int bombCount = 0;
        std::array<QRect, MaxSubs> subs{};
        std::array<QRect, MaxBombs> bombs{};
        const QStringList* notice = nullptr; // over everything; none when null
        QRect noticeArea;
        int noticeVersion = 0;
    };

    Board(QWidget* parent, Qt::WindowFlags f, const Recording* toReplay);
    void dropBomb();
    // A bomb dropped, and its cost.
    void fire();
    void steer(bool left, bool right);
    // A submarine from the launch's three draws.
    void launch(int direction, int depth, int speedDraw);
    void replayKey(QKeyEvent* e);
    // Applies what the recording holds before the next tick; false when it
    // holds no more ticks, or something the game could not have done.
    bool replayToTick();
    void finishReplay();
    void showSign();
    void endGame();
    // The field at the largest whole number of the screen's pixels to each of
    // its own that the widget holds, in its middle, in the screen's pixels.
    int zoom() const;
    QSize deviceSize() const;
    QRect fieldOnDevice() const;
    // A few rectangles of the field, none overlapping another.
    using Rects = QVarLengthArray<QRect, 48>;
    Frame frameNow(QPainter& painter);
    Rects changedSince(const Frame& before, const Frame& now) const;
    void drawFrame(QPainter& painter, const Frame& frame, const QRect& area);
    // The notice as shown now, if any, and where it goes.
    const QStringList* noticeNow() const;
    QRect noticeArea(const QPainter& painter, const QStringList& notice) const;
    void drawNotice(QPainter& painter, const QStringList& notice, const QRect& at) const;
    // Shows at once what changed without a tick.
    void refresh();
    // Brings the buffer up to date and returns what changed.
    Rects updateFrame();
    // Where a rectangle of the field is on the widget, in the screen's pixels.
    QRect onDevice(const QRect& inField) const;
    QRectF toLogical(const QRect& device) const;
    // The screen's pixels a rectangle of the widget touches.
    QRect deviceCover(const QRect& logical) const;
    // Shows those parts of the buffer on the screen now.
    void showChanges(const Rects& changed);
    // The buffer's part under a rectangle of the field on the screen.
    void drawBuffer(QPainter& painter, const QRect& device) const;
    void removeSub(int slot);
    void removeBomb(int slot);
    void releaseRecords();
    static BoardEvents* nobody();

    std::array<QPixmap, WaterFrames> waterPix;
    QPixmap skyPix;
    QPixmap subPix;
    QPixmap destroyerPix;
    QPixmap bombPix;
    QPixmap livesPix;
    QPixmap* buffer = nullptr;
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
    QTimer* newSubTimer = nullptr;
    QTimer* mainTimer = nullptr;
    ScoreText scoreText;
    QStringList pausedNotice;
    QStringList overNotice;
    bool ending = false; // between the last escape and the end of the boxes it brings
    Frame shown; // what the buffer holds
    BoardEvents* events = nobody();

    Recording recording;
    // A replay's recording, where it has got to, and how it ended.
    std::optional<Recording> replay;
    int replayAt = 0;
    int ticksToRun = 0;
    int replaySpeed = 1;
    bool replayDone = false;
    int replayScore = 0;
    QString replayFault;
    QStringList sign;
    QStringList shownSign; // the sign with its last line
    int noticeVersion = 0;
};

#endif
