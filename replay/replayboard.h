#ifndef REPLAYBOARD_H
#define REPLAYBOARD_H

#include "board/board.h"
#include "replay/gamereplay.h"
#include "replay/recording.h"

#include <QTimer>

#include <functional>

// A recorded game played again on the screen: a board driven by its
// recording's replay at a chosen speed, each tick with its frame. It plays
// with the sizes the game was played with, whatever pictures it draws with,
// and keeps nothing: no list, no shelf, no recording.
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
    bool replayIsOver() const { return replay.isOver(); }
    // Why the recording does not fit the game; empty when it does.
    QString replayMismatch() const { return replay.mismatch(); }
    // The mismatch is a launch that drew what its sea does not give.
    bool mismatchIsTheSea() const { return replay.mismatchIsTheSea(); }
    // The recording names its sea and every launch drew from it.
    bool seaProven() const { return replay.seaProven(); }
    // The first launch sooner than the launch timer could have made it; empty when none.
    QString paceFault() const { return replay.paceFault(); }
    // The final score as replayed, once over.
    int replayedScore() const { return replay.score(); }
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
    // No boxes and no list.
    void closeGame(int /*score*/) override {}

private:
    void showSign();

    GameReplay replay;
    bool shownOver = false; // the replay's end has stopped the board and changed the sign
    int speed = 1;
    QString title;
    QTimer pace; // the ticks at the chosen speed, as the main timer paced the game
};

#endif
