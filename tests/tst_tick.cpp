#include "boardaccess.h"
#include "boardfixture.h"
#include "highscoreaccess.h"
#include "modalanswerer.h"

#include "board/boardevents.h"
#include "highscore/highscoretable.h"

#include <QDialog>
#include <QTest>

using A = BoardAccess;

class tst_Tick : public QObject
{
    Q_OBJECT

private slots:
    void destroyerSteps_data();
    void destroyerSteps();
    void submarineEscapes_data();
    void submarineEscapes();
    void fourthEscapeEndsTheGame();
    void endBoxIsAtLeast110Wide();
    void gameEndsOncePerPass();
    void negativeFinalScoreCountsAsZero();
    void hitsLaterInTheEndingTickStillScore();
    void bombLeavesInIts375thTick();
    void hitMargins_data();
    void hitMargins();
    void twoBombsOnOneSubmarine();
    void escapeSkipsTheMovedSubmarine();
    void movedBombMeetsLaterSubmarines();
    void lastBombEndsItsScan();
    void waterWrapsInThe81stTick();
    void tellsWhatHappens();
};

void tst_Tick::destroyerSteps_data()
{
    QTest::addColumn<float>("from");
    QTest::addColumn<bool>("left");
    QTest::addColumn<bool>("right");
    QTest::addColumn<float>("to");
    QTest::newRow("both keys: -2 then +2") << 100.0f << true << true << 100.0f;
    QTest::newRow("left") << 100.0f << true << false << 98.0f;
    QTest::newRow("left from 1 passes the edge") << 1.0f << true << false << -1.0f;
    QTest::newRow("left from -1 stops") << -1.0f << true << false << -1.0f;
    QTest::newRow("left from 0 stops") << 0.0f << true << false << 0.0f;
    QTest::newRow("right") << 100.0f << false << true << 102.0f;
    QTest::newRow("right to 210") << 208.0f << false << true << 210.0f;
    QTest::newRow("right from 209 stops at the edge") << 209.0f << false << true << 209.0f;
    QTest::newRow("right from 210 stops") << 210.0f << false << true << 210.0f;
    QTest::newRow("right from 208.5 passes 240") << 208.5f << false << true << 210.5f;
    QTest::newRow("both keys at the left edge") << 0.0f << true << true << 2.0f;
    QTest::newRow("no key") << 50.0f << false << false << 50.0f;
}

void tst_Tick::destroyerSteps()
{
    QFETCH(float, from);
    QFETCH(bool, left);
    QFETCH(bool, right);
    QFETCH(float, to);
    BoardFixture f;
    Board& b = f.board();
    QCOMPARE(A::destroyerPix(b).width(), 31);
    A::destroyerX(b) = from;
    A::leftPressed(b) = left;
    A::rightPressed(b) = right;
    A::tick(b);
    QCOMPARE(A::destroyerX(b), to);
}

void tst_Tick::submarineEscapes_data()
{
    // The sub is 26 wide; speed 0 leaves it where it is put.
    QTest::addColumn<float>("x");
    QTest::addColumn<bool>("escaped");
    QTest::newRow("exactly 240") << 240.0f << false;
    QTest::newRow("240.01") << 240.01f << true;
    QTest::newRow("exactly -26") << -26.0f << false;
    QTest::newRow("-26.01") << -26.01f << true;
    QTest::newRow("in the field") << 120.0f << false;
}

void tst_Tick::submarineEscapes()
{
    QFETCH(float, x);
    QFETCH(bool, escaped);
    BoardFixture f;
    Board& b = f.board();
    A::addSub(b, x, 100, 0.0f);
    A::tick(b);
    QCOMPARE(A::subCount(b), escaped ? 0 : 1);
    QCOMPARE(A::lives(b), escaped ? 2 : 3);
}

void tst_Tick::fourthEscapeEndsTheGame()
{
    BoardFixture f;
    Board& b = f.board();
    b.newGame(1);
    b.pauseGame();
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::returnAfterGrace());
    A::score(b) = 120; // too low for the list: no name is asked
    QList<int> livesAfter;
    for (int escape = 0; escape < 4; ++escape) {
        A::addSub(b, escape % 2 ? -26.5f : 240.5f, 100, 0.0f); // both directions cost a life
        if (escape == 3)
            b.resumeGame();
        A::tick(b);
        livesAfter << A::lives(b);
        QCOMPARE(A::gameOver(b), escape == 3);
    }
    QCOMPARE(livesAfter, (QList<int>{2, 1, 0, -1}));
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen()[0].objectName, QStringLiteral("endBox"));
    QCOMPARE(answerer.seen()[0].text, QStringLiteral("<center><b>Game Over</b><BR> Your final score: 120</center>"));
    QVERIFY(answerer.seen()[0].size.width() >= 110);
    QVERIFY(!A::mainTimer(b)->isActive() && !A::newSubTimer(b)->isActive());
    QVERIFY(!b.findChild<QDialog*>()); // the box is released once closed
    b.resumeGame();
    QVERIFY(!A::mainTimer(b)->isActive());
}

void tst_Tick::endBoxIsAtLeast110Wide()
{
    // In a small font the box would be narrower by itself.
    const QFont saved = QApplication::font();
    QApplication::setFont(QFont(saved.family(), 3));
    BoardFixture f;
    Board& b = f.board();
    A::lives(b) = 0;
    A::addSub(b, 241, 100, 0.0f);
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::accept());
    A::tick(b);
    QApplication::setFont(saved);
    QCOMPARE(answerer.seen()[0].size.width(), 110);
}

void tst_Tick::gameEndsOncePerPass()
{
    BoardFixture f;
    Board& b = f.board();
    HighScoreAccess::setScore(*b.highScores, 9, 0); // every score earns place 10
    A::lives(b) = 0;
    A::score(b) = 70;
    A::addSub(b, 241, 100, 0.0f);   // ends the game
    A::addSub(b, 250, 110, 0.0f);   // escapes later in the same pass
    A::addSub(b, 120, 120, 0.0f);
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::accept()).then(ModalAnswerer::type(QStringLiteral("Once"))).then(ModalAnswerer::accept());
    A::tick(b);
    QCOMPARE(A::lives(b), -2);
    QVERIFY(A::gameOver(b));
    QCOMPARE(answerer.seen().size(), 3); // one end box, one name, one list
    QCOMPARE(answerer.unexpected(), 0);
    QCOMPARE(HighScoreAccess::name(*b.highScores, 9), QStringLiteral("Once"));
    QCOMPARE(HighScoreAccess::name(*b.highScores, 8), QStringLiteral("Gus Gloomy"));
}

void tst_Tick::negativeFinalScoreCountsAsZero()
{
    BoardFixture f;
    Board& b = f.board();
    HighScoreAccess::setScore(*b.highScores, 9, -5);
    A::lives(b) = 0;
    A::score(b) = -30; // three bombs dropped at 0 since the last frame
    A::addSub(b, 241, 100, 0.0f);
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::accept()).then(ModalAnswerer::type(QStringLiteral("Neg"))).then(ModalAnswerer::accept());
    A::tick(b);
    QCOMPARE(answerer.seen()[0].text, QStringLiteral("<center><b>Game Over</b><BR> Your final score: 0</center>"));
    QCOMPARE(HighScoreAccess::name(*b.highScores, 9), QStringLiteral("Neg"));
    QCOMPARE(HighScoreAccess::score(*b.highScores, 9), 0);
}

void tst_Tick::hitsLaterInTheEndingTickStillScore()
{
    BoardFixture f;
    Board& b = f.board();
    HighScoreAccess::setScore(*b.highScores, 9, 0); // both 40 and 190 would earn place 10
    A::lives(b) = 0;
    A::score(b) = 40;
    A::addSub(b, 241, 100, 0.0f);
    A::addSub(b, 100, 150, 0.0f);
    A::addBomb(b, 105, 150, 0.0f);
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::accept()).then(ModalAnswerer::type(QStringLiteral("Late"))).then(ModalAnswerer::accept());
    A::tick(b);
    QVERIFY(answerer.seen()[0].text.contains(QStringLiteral("score: 40<")));
    QCOMPARE(A::score(b), 190);
    QCOMPARE(HighScoreAccess::score(*b.highScores, 9), 40); // not handed 190
}

void tst_Tick::bombLeavesInIts375thTick()
{
    BoardFixture f;
    Board& b = f.board();
    A::addBomb(b, 10, 40, 30.0f);
    A::addBomb(b, 60, 265.0f, 0.0f); // exactly at the bottom: stays
    for (int tick = 1; tick <= 374; ++tick)
        A::tick(b);
    QCOMPARE(A::bombCount(b), 2);
    QVERIFY(A::bomb(b, 0)->y < 265.0f);
    A::tick(b);
    QCOMPARE(A::bombCount(b), 1);
    QCOMPARE(A::bomb(b, 0)->y, 265.0f);
}

void tst_Tick::hitMargins_data()
{
    // A 5 x 7 bomb against a 26 x 12 submarine at (100, 100).
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<float>("speed"); // the bomb's
    QTest::addColumn<bool>("hit");
    QTest::newRow("left, one shared column") << 96.0f << 105.0f << 0.0f << false;
    QTest::newRow("left, overlap over 1") << 96.5f << 105.0f << 0.0f << true;
    QTest::newRow("right, one shared column") << 125.0f << 105.0f << 0.0f << false;
    QTest::newRow("right, overlap over 1") << 124.5f << 105.0f << 0.0f << true;
    QTest::newRow("above, lower edge 5 below the top") << 110.0f << 98.0f << 0.0f << false;
    QTest::newRow("above, lower edge over 5 below") << 110.0f << 98.5f << 0.0f << true;
    QTest::newRow("above, sinks into reach first") << 110.0f << 98.0f << 30.0f << true;
    QTest::newRow("below, one shared row") << 110.0f << 111.0f << 0.0f << false;
    QTest::newRow("below, overlap over 1") << 110.0f << 110.5f << 0.0f << true;
    QTest::newRow("below, sinks out of reach first") << 110.0f << 110.5f << 30.0f << false;
    QTest::newRow("touching on the left") << 95.0f << 105.0f << 0.0f << false;
}

void tst_Tick::hitMargins()
{
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(float, speed);
    QFETCH(bool, hit);
    BoardFixture f;
    Board& b = f.board();
    QCOMPARE(A::bombPix(b).size(), QSize(5, 7));
    QCOMPARE(A::subPix(b).size(), QSize(26, 12));
    A::addSub(b, 100, 100, 0.0f);
    A::addBomb(b, x, y, speed);
    A::tick(b);
    QCOMPARE(A::subCount(b), hit ? 0 : 1);
    QCOMPARE(A::bombCount(b), hit ? 0 : 1);
    QCOMPARE(A::score(b), hit ? 100 : 0);
}

void tst_Tick::twoBombsOnOneSubmarine()
{
    BoardFixture f;
    Board& b = f.board();
    A::addSub(b, 100, 249.9f, 0.0f);
    A::addBomb(b, 105, 250, 0.0f);
    Bomb* second = A::addBomb(b, 110, 250, 0.0f);
    A::tick(b);
    QCOMPARE(A::score(b), 249); // the whole part of the depth
    QCOMPARE(A::subCount(b), 0);
    QCOMPARE(A::bombCount(b), 1);
    QCOMPARE(A::bomb(b, 0), second);
}

void tst_Tick::escapeSkipsTheMovedSubmarine()
{
    BoardFixture f;
    Board& b = f.board();
    A::addSub(b, 241, 100, 0.0f);    // slot 0 escapes
    Sub* middle = A::addSub(b, 100, 120, 50.0f);
    Sub* last = A::addSub(b, 50, 140, 50.0f);
    A::tick(b);
    QCOMPARE(A::subCount(b), 2);
    QCOMPARE(A::sub(b, 0), last);
    QCOMPARE(last->x, 50.0f);        // moved into slot 0 after the scan passed it
    QCOMPARE(middle->x, 101.0f);
    A::tick(b);
    QCOMPARE(last->x, 51.0f);
}

void tst_Tick::movedBombMeetsLaterSubmarines()
{
    BoardFixture f;
    Board& b = f.board();
    A::addSub(b, 20, 100, 0.0f);     // hit by the bomb in slot 0
    A::addSub(b, 120, 100, 0.0f);    // hit by the bomb that moves into slot 0
    A::addSub(b, 200, 200, 0.0f);
    A::addBomb(b, 25, 100, 0.0f);
    A::addBomb(b, 125, 100, 0.0f);
    A::tick(b);
    QCOMPARE(A::score(b), 200);
    QCOMPARE(A::subCount(b), 1);
    QCOMPARE(A::bombCount(b), 0);
}

void tst_Tick::lastBombEndsItsScan()
{
    BoardFixture f;
    Board& b = f.board();
    A::addSub(b, 100, 100, 0.0f);
    A::addSub(b, 102, 101, 0.0f);    // under the same bomb, moved into slot 0
    Bomb* miss = A::addBomb(b, 10, 200, 0.0f);
    A::addBomb(b, 105, 100, 0.0f);   // the last bomb: it hits, and its slot is gone
    A::tick(b);
    QCOMPARE(A::score(b), 100);
    QCOMPARE(A::subCount(b), 1);
    QCOMPARE(A::sub(b, 0)->x, 102.0f);
    QCOMPARE(A::bombCount(b), 1);
    QCOMPARE(A::bomb(b, 0), miss);
}

void tst_Tick::waterWrapsInThe81stTick()
{
    BoardFixture f;
    Board& b = f.board();
    QList<int> held; // ticks each whole value is shown
    int shown = 0, run = 0;
    for (int tick = 1; tick <= 400; ++tick) {
        A::tick(b);
        const float phase = A::waterPhase(b);
        QVERIFY(phase >= 0.0f && phase < 8.0f);
        if (tick == 80)
            QVERIFY(phase > 7.9f);
        if (tick == 81)
            QVERIFY(phase > 0.0999f && phase < 0.1f); // 8.0999... wrapped
        if (int(phase) == shown) {
            ++run;
        } else {
            held << run;
            shown = int(phase);
            run = 1;
        }
    }
    QCOMPARE(held.first(), 9); // the very first 0, counted from tick 1
    for (int i = 1; i < held.size(); ++i)
        QVERIFY2(held[i] == 10 || held[i] == 11, qPrintable(QString::number(held[i])));
}

void tst_Tick::tellsWhatHappens()
{
    struct Recorder : BoardEvents {
        QStringList seen;
        void bombDropped() override { seen << "bomb"; }
        void subDestroyed(int depth) override { seen << QStringLiteral("hit %1").arg(depth); }
        void subEscaped() override { seen << "escape"; }
        void gameOver() override { seen << "over"; }
        void placeEarned() override { seen << "place"; }
        void paused(bool on) override { seen << (on ? "paused" : "running"); }
    } recorder;
    BoardFixture f;
    Board& b = f.board();
    b.setEvents(&recorder);
    b.resumeGame();
    b.pauseGame();
    A::addSub(b, 100, 150.5f, 0.0f);
    A::addBomb(b, 110, 150, 0.0f);
    A::addSub(b, 241, 200, 0.0f);
    A::tick(b);
    QCOMPARE(recorder.seen, (QStringList{"running", "paused", "escape", "hit 150"}));

    recorder.seen.clear();
    A::lives(b) = 0;
    A::score(b) = 600; // place 7
    A::addSub(b, 241, 200, 0.0f);
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::accept()).then(ModalAnswerer::type(QStringLiteral("Ann"))).then(ModalAnswerer::accept());
    QTest::keyClick(&b, Qt::Key_Return);
    A::tick(b);
    QCOMPARE(recorder.seen, (QStringList{"bomb", "escape", "paused", "over", "place"}));
    b.setEvents(nullptr);
}

QTEST_MAIN(tst_Tick)
#include "tst_tick.moc"
