#include "server/watchframes.h"

#include "board/game.h"
#include "replay/gamereplay.h"

#include <QJsonArray>

#include <algorithm>

namespace {

QJsonArray frameOf(const Game::Scene& scene)
{
    // Short, as a minute of them goes in one answer.
    QJsonArray subs;
    for (const QPoint& at : scene.subs) {
        subs.append(at.x());
        subs.append(at.y());
    }
    QJsonArray bombs;
    for (const QPoint& at : scene.bombs) {
        bombs.append(at.x());
        bombs.append(at.y());
    }
    return QJsonArray{scene.water, scene.destroyer.x(), scene.score, scene.lives, scene.bombsToHand, subs, bombs};
}

QJsonArray sizeOf(const QSize& size)
{
    return QJsonArray{size.width(), size.height()};
}

} // namespace

QJsonObject WatchFrames::frames(const Recording& recording, int from, int count)
{
    from = std::max(from, 0);
    count = std::clamp(count, 0, MostFrames);
    // The recorded sizes: only the game's arithmetic runs.
    Game game(recording.start().sizes);
    GameReplay replay(recording, game);
    bool going = true;
    // On to the next frame; false when there is none. Until the replay
    // stops the game has not ended, so the tick that ends it is one more.
    auto advance = [&replay, &game, &going] {
        if (!going)
            return false;
        going = replay.step();
        return going || game.isOver();
    };
    bool exists = true;
    for (int tick = 0; tick < from && exists; ++tick)
        exists = advance();
    QJsonArray frames;
    if (exists && count > 0) {
        frames.append(frameOf(game.scene()));
        while (frames.size() < count && (exists = advance()))
            frames.append(frameOf(game.scene()));
    }
    const bool more = going && exists;
    return QJsonObject{{"from", from}, {"frames", frames}, {"last", !more}};
}

QJsonObject WatchFrames::sizes(const Recording& recording)
{
    const Rules::Sizes& sizes = recording.start().sizes;
    return QJsonObject{{"destroyer", sizeOf(sizes.destroyer)}, {"sub", sizeOf(sizes.sub)}, {"bomb", sizeOf(sizes.bomb)}};
}
