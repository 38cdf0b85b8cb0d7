#include "boardaccess.h"
#include "boardfixture.h"
#include "highscoreaccess.h"
#include "instantanswers.h"

#include "highscore/highscoretable.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QtTest>

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

void key(Board& board, QEvent::Type type, int code)
{
    QKeyEvent event(type, code, Qt::NoModifier);
    QCoreApplication::sendEvent(&board, &event);
}

// Steers under the nearest submarine, leading it by the way it will go while a
// charge sinks to its depth, and fires when it is there.
void play(Board& b)
{
    const float middle = A::destroyerX(b) + float(A::destroyerPix(b).width() / 2);
    float target = middle;
    float nearest = 1e9f;
    for (int i = 0; i < A::subCount(b); ++i) {
        const Sub* sub = A::sub(b, i);
        const float sinking = (sub->y - 40.0f) / 0.6f;
        const float centre = sub->x + float(A::subPix(b).width()) / 2 + sub->speed / 50.0f * sinking;
        if (std::abs(centre - middle) < nearest) {
            nearest = std::abs(centre - middle);
            target = centre;
        }
    }
    const bool left = target < middle - 2, right = target > middle + 2;
    if (left != A::leftPressed(b))
        key(b, left ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Left);
    if (right != A::rightPressed(b))
        key(b, right ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Right);
    if (nearest < 6)
        key(b, QEvent::KeyPress, Qt::Key_Return);
}

} // namespace

class tst_Soak : public QObject
{
    Q_OBJECT

private slots:
    void thousandGames();
};

void tst_Soak::thousandGames()
{
    const int games = qEnvironmentVariableIntValue("MARLOVEX_SOAK_GAMES") > 0 ? qEnvironmentVariableIntValue("MARLOVEX_SOAK_GAMES") : 1000;
    BoardFixture f;
    Board& b = f.board();
    InstantAnswers answers;
    std::srand(1);
    long afterTenth = 0;
    qint64 ticks = 0, launches = 0, bestScore = 0;
    QElapsedTimer clock;
    clock.start();

    for (int game = 1; game <= games; ++game) {
        b.newGame(game % 3);
        b.pauseGame(); // the test is the clock
        int untilLaunch = int(A::subInterval(b)) / 20;
        while (!A::gameOver(b)) {
            if (--untilLaunch <= 0) {
                A::launch(b);
                ++launches;
                untilLaunch = std::max(1, int(A::subInterval(b)) / 20);
            }
            play(b);
            A::tick(b);
            ++ticks;
            const QString broken = A::brokenInvariant(b);
            if (!broken.isEmpty())
                QFAIL(qPrintable(QStringLiteral("game %1, tick %2: %3").arg(game).arg(ticks).arg(broken)));
            bestScore = std::max<qint64>(bestScore, A::score(b));
        }
        if (game == 10)
            afterTenth = residentKilobytes();
    }
    const long atEnd = residentKilobytes();
    qInfo("%d games, %lld ticks, %lld launches, best score %lld, %d boxes answered, %.1f s; resident %ld kB after "
          "the 10th game, %ld kB after the last",
          games, ticks, launches, bestScore, answers.answered(), clock.elapsed() / 1000.0, afterTenth, atEnd);

    QVERIFY(answers.answered() >= games); // every game ended with its box
    QVERIFY(HighScoreAccess::score(*b.highScores, 0) > 2300); // the bot made the list
#ifndef MARLOVEX_SANITIZE
    QVERIFY2(atEnd - afterTenth <= 2048, "resident memory grew by more than 2 MB");
#endif
}

QTEST_MAIN(tst_Soak)
#include "tst_soak.moc"
