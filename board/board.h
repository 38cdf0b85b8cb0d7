#ifndef BOARD_H
#define BOARD_H

#include "board/framepainter.h"
#include "board/game.h"
#include "board/pictures.h"
#include "board/rules.h"
#include "board/sea.h"
#include "replay/recording.h"

#include <QPixmap>
#include <QStringList>
#include <QWidget>

#include <array>

class HighScoreTable;
class QTimer;
class ReplayShelf;

// The playing field and the whole game on the screen: the game's rules (its
// state and its tick) with the timers that pace them, the keys that steer
// and fire, the frame that shows them, and the boxes and the list at its end.
class Board : public QWidget, public Game
{
    Q_OBJECT

public:

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

    // The game being played as recorded so far.
    const Recording& currentRecording() const { return recording; }
    // Keeps the game so far as the last one played, and goes on recording it;
    // not when nobody has played it yet.
    void keepRecording();

    HighScoreTable* highScores = nullptr;
    // Where the recordings of the list's games are kept.
    ReplayShelf* replays = nullptr;

signals:
    // A game has ended, its recording closed, before the list takes its
    // score: whoever shares games with the world takes it from here.
    void gameFinished(const Recording& recording);

protected:
    // A board that is only ever driven from outside: no list, no shelf, no game
    // until one is started, nothing recorded.
    Board(const Pictures& pictures, QWidget* parent);

    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

    // The keys held now, as the player's: recorded when they change.
    void steerAndRecord(bool left, bool right);
    // One tick, as the main timer runs it: the rules' tick and its frame.
    void tick() override { gameLogic(); }
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
    void endGame(int finalScore) override;

    std::array<QPixmap, WaterFrames> waterPix;
    QPixmap skyPix;
    QPixmap subPix;
    QPixmap destroyerPix;
    QPixmap bombPix;
    QPixmap livesPix;
    QPixmap* buffer = nullptr;
    QTimer* newSubTimer = nullptr;
    QTimer* mainTimer = nullptr;
    QStringList pausedNotice;
    QStringList overNotice;
    QStringList sign;
    bool ending = false; // between the last escape and the end of the boxes it brings
    std::optional<Sea> nextSea;
    Sea recordedSea; // where the generator should stand at the next launch
    Recording recording;
    FramePainter frames{*this};
};

#endif
