#ifndef BOARD_H
#define BOARD_H

#include "board/framepainter.h"
#include "board/pictures.h"
#include "board/rules.h"
#include "board/sea.h"
#include "replay/recording.h"

#include <QPixmap>
#include <QPoint>
#include <QStringList>
#include <QVarLengthArray>
#include <QWidget>

#include <array>

class Bomb;
class BoardEvents;
class HighScoreTable;
class QTimer;
class ReplayShelf;
class ScoreSharer;
class Sub;

// The playing field and the whole game: the destroyer, the submarines and the
// bombs, score and lives, the tick that moves them and the frame that shows them.
class Board : public QWidget
{
    Q_OBJECT

public:
    static constexpr int FieldWidth = Rules::FieldWidth;
    static constexpr int FieldHeight = Rules::FieldHeight;
    static constexpr int WaterY = Rules::WaterY;
    static constexpr int WaterFrames = Rules::WaterFrames;
    static constexpr int MaxSubs = Rules::MaxSubs;
    static constexpr int MaxBombs = Rules::MaxBombs;
    static constexpr int ShallowestDepth = Rules::ShallowestDepth;
    static constexpr int DeepestDepth = Rules::DeepestDepth;

    // With the pictures the player's system has, unless given others.
    explicit Board(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {},
                   const Pictures& pictures = Pictures::load());
    ~Board() override;

    // A new game at difficulty 0 (easy), 1 (normal) or 2 (hard), running at once.
    void newGame(int difficulty);
    void pauseGame();
    // Does nothing once the game is over.
    void resumeGame();
    // The game's timers run: neither paused nor over.
    bool isRunning() const;
    bool isOver() const { return gameOver; }
    // Who is told what happens; nobody when null.
    void setEvents(BoardEvents* listener);
    // The next game is played on this sea, a scoreboard's deal: the system's
    // generator is seeded with it as that game starts. Without one, a game
    // draws on from wherever the generator stands.
    void dealNextGame(const Sea& sea) { nextSea = sea; }
    bool hasDealForNextGame() const { return nextSea.has_value(); }
    // What the field says over the game while it is paused, and once it is
    // over: a title and a line on how to go on. Nothing unless given.
    void setNotices(const QStringList& whilePaused, const QStringList& whenOver);
    // A sign in the band below the surface, over everything, in plain lines;
    // none when empty.
    void setSign(const QStringList& lines);

    // Finds a picture by its base name ("sky", "water3"). Uses no board state.
    static QPixmap loadImage(const char* name) { return Pictures::loadImage(name); }

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

    // The game being played as recorded so far.
    const Recording& currentRecording() const { return recording; }
    // Keeps the game so far as the last one played, and goes on recording it;
    // not when nobody has played it yet.
    void keepRecording();

    HighScoreTable* highScores = nullptr;
    // Where the recordings of the list's games are kept.
    ReplayShelf* replays = nullptr;
    // Who shares the games that end with the world; nobody when null.
    ScoreSharer* sharer = nullptr;

protected:
    // A board that is only ever driven from outside: no list, no shelf, no game
    // until one is started, nothing recorded.
    Board(const Pictures& pictures, QWidget* parent);

    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

    // A game from its start, timers stopped: its launches and ticks come from outside.
    void startDriven(const Recording::Start& start);
    // A bomb dropped, and its cost.
    void fire();
    void steer(bool left, bool right);
    // A submarine from the launch's three draws.
    void launch(int direction, int depth, int speedDraw);
    int bombsFalling() const { return bombCount; }
    // What the launch timer counts down from now, in whole milliseconds.
    int launchInterval() const;
    int currentScore() const { return score; }
    BoardEvents& listener() const { return *events; }
    // One tick, as the main timer runs it.
    void tick() { gameLogic(); }
    // A frame is about to show the score: a negative one is raised to 0.
    virtual void settleForFrame();
    // The game has just ended with this score, its recording closed and its
    // timers stopped: the boxes, and the list.
    virtual void closeGame(int finalScore);
    // Shows at once what changed without a tick.
    void refresh();

private slots:
    void gameLogic();
    void newSub();

private:
    friend struct BoardAccess;
    friend class FramePainter;

    void setUp(const Pictures& pictures);
    void dropBomb();
    void endGame();
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
    QStringList pausedNotice;
    QStringList overNotice;
    QStringList sign;
    bool ending = false; // between the last escape and the end of the boxes it brings
    BoardEvents* events = nobody();
    std::optional<Sea> nextSea;
    Sea recordedSea; // where the generator should stand at the next launch
    Recording recording;
    FramePainter frames{*this};
};

#endif
