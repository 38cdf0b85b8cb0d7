#ifndef REPLAYWATCHER_H
#define REPLAYWATCHER_H

#include "board/pictures.h"

#include <QObject>
#include <QString>

#include <functional>

class Board;
class BoardEvents;
class QMainWindow;
class QMenu;
class ReplayBoard;
class WorldList;

// The Replays menu, and watching a recording in the board's place: the last
// game, or the game of a place in the list. The game waits, paused and
// hidden, and goes on afterwards only if it ran before.
class ReplayWatcher : public QObject
{
public:
    // pictures: what a replay draws with; sounds: who hears it; showBox: how
    // the window shows a box of its own.
    ReplayWatcher(QMainWindow* window, Board* game, const Pictures& pictures, BoardEvents* sounds,
                  std::function<void(const char* name, const QString& text)> showBox);
    ~ReplayWatcher() override;

    // "&Replays", filled as it opens; with "&World", the world's best, when
    // given where they come from.
    void addMenu(WorldList* world = nullptr);
    bool isWatching() const { return replay != nullptr; }
    // Back to the game, which goes on if it ran before.
    void stop();
    // A replay rests while the window is not in front, and goes on when it is.
    void rest();
    void play();

private:
    void fill();
    void fillWorld();
    // player: whose game the sign says it is; the recording's name when empty.
    void watch(const QString& path, const QString& player);

    QMainWindow* window;
    Board* game;
    Pictures pictures;
    BoardEvents* sounds;
    std::function<void(const char*, const QString&)> showBox;
    QMenu* menu = nullptr;
    WorldList* world = nullptr;
    QMenu* worldMenu = nullptr;
    ReplayBoard* replay = nullptr;
    bool resumeAfter = false;
};

#endif
