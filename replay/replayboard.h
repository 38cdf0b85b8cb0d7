#ifndef REPLAYBOARD_H
#define REPLAYBOARD_H

#include "board/board.h"
#include "replay/launchcheck.h"
#include "replay/recording.h"

#include <QTimer>

#include <functional>

// A recorded game played again: a board driven from outside by its recording,
// which feeds it what the player and the launch timer fed it (the steering,
// the bombs, the launches with their draws, the frames that raised the score)
// between its ticks. It plays with the sizes the game was played with, whatever
// pictures it draws with, and keeps nothing: no list, no shelf, no recording.
class ReplayBoard : public Board
{
    Q_OBJECT

public:
    explicit ReplayBoard(const Recording& recording, const Pictures& pictures = Pictures::load(), QWidget* parent = nullptr);

    // Ticks at the chosen speed, or none.
    void play();
    void rest();
    bool isPlaying() const { return pace.isActive(); }
    // Milliseconds from one tick to the next at the chosen speed.
    int tickInterval() const { return pace.interval(); }
    // One tick and what came before it; false once it is over.
    bool stepReplay();
    bool replayIsOver() const { return done; }
    // Why the recording does not fit the game; empty when it does.
    QString replayMismatch() const { return fault; }
    // The mismatch is a launch that drew what its sea does not give.
    bool mismatchIsTheSea() const { return !fault.isEmpty() && !launches.seaFault().isEmpty(); }
    // The recording names its sea and every launch drew from it.
    bool seaProven() const { return launches.seaProven(); }
    // The first launch sooner than the launch timer could have made it; empty when none.
    QString paceFault() const { return launches.paceFault(); }
    // The final score as replayed, once over.
    int replayedScore() const { return finalScore; }
    bool replayedGameEnded() const { return isOver(); }
    // Ticks 1, 2 or 4 times as fast as the game's.
    void setReplaySpeed(int speed);
    // The sign's first line: whose game, and what it scored.
    void setTitle(const QString& title);
    // Escape was pressed.
    std::function<void()> replayStop;

protected:
    // Only the speeds and the way out: the keys of play do nothing here, and
    // losing the keyboard steers nothing.
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    // Raised where the recording says the game raised it, never by a frame:
    // a replay on a screen and one without a window play the same game.
    void settleForFrame() override {}
    void closeGame(int score) override { finalScore = score; }

private:
    // Applies what the recording holds before the next tick; false when it
    // holds no more ticks, or something the game could not have done.
    bool toNextTick();
    void finish();
    void showSign();

    Recording recording;
    LaunchCheck launches;
    int at = 0;
    int ticksToRun = 0;
    int speed = 1;
    bool done = false;
    int finalScore = 0;
    QString fault;
    QString title;
    QTimer pace; // the ticks at the chosen speed, as the main timer paced the game
};

#endif
