// The game's rules on their own: this suite links the rules' library and Qt's
// test library and nothing else, so it does not build when the rules need a
// window, a picture or a sound. Games replayed on several threads at once
// come out as on one.

#include "board/game.h"
#include "board/seadraws.h"
#include "board/sub.h"
#include "replay/gamereplay.h"
#include "replay/recording.h"

#include <QDir>
#include <QObject>
#include <QTest>

#include <thread>
#include <vector>

namespace {

// A game as it went, tick by tick, and what the replay made of it.
struct Played {
    QList<size_t> scenes;
    int score = -1;
    QString mismatch;
    bool seaProven = false;

    bool operator==(const Played& o) const
    {
        return scenes == o.scenes && score == o.score && mismatch == o.mismatch && seaProven == o.seaProven;
    }
};

Played play(const Recording& recording)
{
    Played p;
    Game game(recording.start().sizes);
    GameReplay replay(recording, game);
    while (replay.step()) {
        const Game::Scene s = game.scene();
        size_t h = qHashMulti(0, s.water, s.destroyer.x(), s.score, s.lives, s.bombsToHand);
        for (const QPoint& at : s.subs)
            h = qHashMulti(h, at.x(), at.y());
        for (const QPoint& at : s.bombs)
            h = qHashMulti(h, at.x(), at.y());
        p.scenes.append(h);
    }
    p.score = replay.score();
    p.mismatch = replay.mismatch();
    p.seaProven = replay.seaProven();
    return p;
}

// A game played on the rules alone, on the sea of this seed, by a player who
// steers under the nearest submarine and fires when one is below: its
// launches come at the launch timer's pace.
Recording playedOn(quint32 seed)
{
    const Sea sea{seed, 0, QByteArray()};
    Game game(Rules::BuiltInSizes);
    Recording recording({1, 105.0f, 0.0f, false, false, Rules::BuiltInSizes, sea});
    game.reset(1);
    game.place(105.0f, 0.0f);
    SeaDraws draws(sea);
    int untilLaunch = game.launchInterval() / Rules::TickInterval + 1;
    while (!game.isOver() && recording.ticks() < 200000) {
        if (--untilLaunch == 0) {
            const int direction = draws.next() % Rules::Directions;
            const int depth = draws.next() % Rules::Depths + Rules::ShallowestDepth;
            const int speedDraw = draws.next() % Rules::SpeedDraws;
            recording.launch(direction, depth, speedDraw);
            game.launch(direction, depth, speedDraw);
            untilLaunch = game.launchInterval() / Rules::TickInterval + 1;
        }
        const Game::Scene scene = game.scene();
        const int middle = scene.destroyer.x() + Rules::BuiltInSizes.destroyer.width() / 2;
        const int target = scene.subs.isEmpty() ? middle : scene.subs.first().x() + 13;
        const bool left = target < middle - 4, right = target > middle + 4;
        recording.steer(left, right);
        game.steer(left, right);
        if (!left && !right && game.bombsFalling() < Rules::MaxBombs && recording.ticks() % 25 == 0) {
            recording.fire();
            game.fire();
        }
        if (game.currentScore() < 0) {
            recording.settle();
            game.settle();
        }
        recording.tick();
        game.advance();
    }
    recording.close(game.isOver(), game.finalScore(), 0);
    return recording;
}

QString recordings()
{
    return qEnvironmentVariable("MARLOVEX_RECORDINGS");
}

} // namespace

class tst_Rules : public QObject
{
    Q_OBJECT

private slots:
    void sameGamesOnTwoThreads_data();
    void sameGamesOnTwoThreads();
};

void tst_Rules::sameGamesOnTwoThreads_data()
{
    QTest::addColumn<QString>("file");
    const QStringList files = QDir(recordings()).entryList({QStringLiteral("*.replay")}, QDir::Files, QDir::Name);
    QVERIFY2(files.size() >= 5, qPrintable(recordings()));
    for (const QString& file : files)
        QTest::newRow(qPrintable(file)) << QDir(recordings()).filePath(file);
    for (quint32 seed : {1u, 4242u, 2026121u})
        QTest::newRow(qPrintable(QStringLiteral("played on sea %1").arg(seed))) << QString::number(seed);
}

void tst_Rules::sameGamesOnTwoThreads()
{
    QFETCH(QString, file);
    QString why;
    bool seeded = false;
    const quint32 seed = file.toUInt(&seeded);
    const std::optional<Recording> recording = seeded ? playedOn(seed) : Recording::load(file, &why);
    QVERIFY2(recording, qPrintable(why));
    const Played alone = play(*recording);
    QVERIFY(alone.scenes.size() > 100);
    QCOMPARE(alone.score, recording->score());
    QCOMPARE(alone.mismatch, QString());
    if (seeded) {
        QVERIFY(recording->isFinished());
        QVERIFY(alone.seaProven);
    }

    // Both threads at once, each the same game over and over, against one
    // another and against a third game of another recording on this thread.
    constexpr int Rounds = 6;
    std::vector<Played> seen(2 * Rounds);
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            for (int r = 0; r < Rounds; ++r)
                seen[std::size_t(t * Rounds + r)] = play(*recording);
        });
    for (std::thread& thread : threads)
        thread.join();
    for (std::size_t i = 0; i < seen.size(); ++i) {
        QVERIFY2(seen[i] == alone, qPrintable(QStringLiteral("game %1: %2 ticks, score %3, \"%4\"")
                                                  .arg(i).arg(seen[i].scenes.size()).arg(seen[i].score).arg(seen[i].mismatch)));
    }
}

QTEST_GUILESS_MAIN(tst_Rules)
#include "tst_rules.moc"
