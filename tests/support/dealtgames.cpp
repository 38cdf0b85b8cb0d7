#include "dealtgames.h"

#include "autopilot.h"
#include "boardaccess.h"
#include "outputcapture.h"

#include "server/scorestore.h"
#include "testfiles.h"

#include <QDateTime>

#include <cmath>

namespace {

// A board whose game ends without boxes.
class QuietBoard : public Board
{
protected:
    void closeGame(int /*score*/) override {}
};

} // namespace

Sea DealtGames::deal(ScoreStore& store, qint64 ago, qint64 seed)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const std::optional<ScoreStore::Deal> dealt =
        store.issueDeal(now - ago, 7 * DayMilliseconds, seed < 0 ? std::nullopt : std::optional<quint32>(quint32(seed)));
    if (!dealt)
        qFatal("no deal: %s", qPrintable(store.error()));
    Sea sea;
    sea.seed = dealt->seed;
    sea.deal = dealt->token;
    return sea;
}

Sea DealtGames::unchecked(quint32 seed)
{
    Sea sea;
    sea.seed = seed;
    sea.deal = QByteArray(Sea::TokenBytes, 't');
    return sea;
}

Recording DealtGames::play(const Sea& sea, int difficulty, const QString& name, Pace pace, int sinking)
{
    OutputCapture quiet;
    QuietBoard b;
    b.dealNextGame(sea);
    b.newGame(difficulty);
    b.pauseGame();
    qint64 since = 0;
    for (int t = 0; !BoardAccess::gameOver(b); ++t, ++since) {
        const double nominal = double(BoardAccess::launchInterval(b)) / 20.0;
        if (since >= qint64(std::floor(nominal * (1.0 - pace.early))) + pace.ticks) {
            BoardAccess::launch(b);
            since = 0;
        }
        if (t < sinking)
            Autopilot::play(b);
        BoardAccess::tick(b);
    }
    Recording game = b.currentRecording();
    game.setName(name);
    return game;
}

QByteArray DealtGames::onDeal(QByteArray bytes, const QByteArray& token)
{
    bytes.replace(TokenAt, Sea::TokenBytes, token);
    return TestFiles::withChecksum(bytes);
}
