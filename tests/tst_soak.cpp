#include "boardaccess.h"
#include "boardfixture.h"
#include "autopilot.h"
#include "highscoreaccess.h"
#include "instantanswers.h"

#include "highscore/highscoretable.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTest>

#include <cstdlib>
#include <unistd.h>

using A = BoardAccess;

namespace {

long residentKilobytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

} // namespace

class tst_Soak : public QObject
{
    Q_OBJECT

private slots:
    void manyGames();
};

// What one tick must have done with the submarines it found: those that left
// the field cost a life each, those that vanished inside it were hit and scored
// their depth. Empty when it did.
QString unexplainedTick(Board& b, const QHash<const Sub*, Sub>& before, int livesBefore, int scoreBefore)
{
    QSet<const Sub*> after;
    for (int i = 0; i < A::subCount(b); ++i)
        after.insert(A::sub(b, i));
    const float width = float(A::subPix(b).width());
    int escapes = 0, points = 0;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (after.contains(it.key()))
            continue;
        const float x = it->x + it->speed / 50.0f;
        if (x < -width || x > float(Board::FieldWidth))
            ++escapes;
        else
            points += int(it->y);
    }
    if (livesBefore - A::lives(b) != escapes)
        return QStringLiteral("%1 escapes cost %2 lives").arg(escapes).arg(livesBefore - A::lives(b));
    if (A::score(b) != scoreBefore + points)
        return QStringLiteral("score %1, after %2 and hits worth %3").arg(A::score(b)).arg(scoreBefore).arg(points);
    const float x = A::destroyerX(b), reach = float(Board::FieldWidth - A::destroyerPix(b).width());
    if (!(x > -2.0f && x < reach + 2.0f))
        return QStringLiteral("destroyer at %1").arg(x);
    return QString();
}

void tst_Soak::manyGames()
{
    const int games = qEnvironmentVariableIntValue("MARLOVEX_SOAK_GAMES") > 0 ? qEnvironmentVariableIntValue("MARLOVEX_SOAK_GAMES") : 300;
    BoardFixture f;
    Board& b = f.board(); // hidden: no frame lifts a negative score to 0 behind the test's back
    InstantAnswers answers;
    Sea::seedGenerator(1);
    long afterTenth = 0;
    qint64 ticks = 0, launches = 0, bestScore = 0;
    int mostAlive = 0;
    QElapsedTimer clock;
    clock.start();
    QHash<const Sub*, Sub> before;

    for (int game = 1; game <= games; ++game) {
        b.newGame(game % 3);
        b.pauseGame(); // the test is the clock
        // Every tenth game starts as late games are: a launch every few ticks.
        if (game % 10 == 0)
            A::subInterval(b) = 150.0f;
        int untilLaunch = int(A::subInterval(b)) / 20;
        while (!A::gameOver(b)) {
            if (--untilLaunch <= 0) {
                A::launch(b);
                ++launches;
                untilLaunch = std::max(1, int(A::subInterval(b)) / 20);
            }
            const int scoreBeforePlay = A::score(b), bombsBeforePlay = A::bombCount(b);
            Autopilot::play(b);
            // Only a bomb dropped costs anything.
            QCOMPARE(A::score(b), scoreBeforePlay - 10 * (A::bombCount(b) - bombsBeforePlay));

            before.clear();
            for (int i = 0; i < A::subCount(b); ++i)
                before.insert(A::sub(b, i), *A::sub(b, i));
            mostAlive = std::max(mostAlive, A::subCount(b));
            const int livesBefore = A::lives(b), scoreBefore = A::score(b);
            A::tick(b);
            ++ticks;
            QString broken = A::brokenInvariant(b);
            if (broken.isEmpty())
                broken = unexplainedTick(b, before, livesBefore, scoreBefore);
            if (!broken.isEmpty())
                QFAIL(qPrintable(QStringLiteral("game %1, tick %2: %3").arg(game).arg(ticks).arg(broken)));
            bestScore = std::max<qint64>(bestScore, A::score(b));
        }
        if (game == 10)
            afterTenth = residentKilobytes();
    }
    const long atEnd = residentKilobytes();
    qInfo("%d games, %lld ticks, %lld launches, best score %lld, at most %d submarines, %d boxes answered, %.1f s; "
          "resident %ld kB after the 10th game, %ld kB after the last",
          games, ticks, launches, bestScore, mostAlive, answers.answered(), clock.elapsed() / 1000.0, afterTenth, atEnd);

    QVERIFY(answers.answered() >= games); // every game ended with its box
    QVERIFY(HighScoreAccess::score(*b.highScores, 0) > 2300); // the bot made the list
    QCOMPARE(mostAlive, Board::MaxSubs); // the field did fill up
#ifndef MARLOVEX_SANITIZE
    QVERIFY2(atEnd - afterTenth <= 2048, "resident memory grew by more than 2 MB");
#endif
}

QTEST_MAIN(tst_Soak)
#include "tst_soak.moc"
