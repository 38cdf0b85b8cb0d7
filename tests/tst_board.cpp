#include "boardaccess.h"
#include "boardfixture.h"
#include "gamestate.h"
#include "keys.h"
#include "outputcapture.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdlib>

using A = BoardAccess;

class tst_Board : public QObject
{
    Q_OBJECT

private slots:
    void startsFirstGameAtNormal();
    void destroyerStartsCentred_data();
    void destroyerStartsCentred();
    void newGameResetsFromAnyState_data();
    void newGameResetsFromAnyState();
    void lifecycleStates_data();
    void lifecycleStates();
    void resumeRestartsSpawnCountdown();
    void launchFromEitherSide_data();
    void launchFromEitherSide();
    void intervalShrinksByOneHundredFiftieth_data();
    void intervalShrinksByOneHundredFiftieth();
    void launchesOnlyWhileASlotIsFree_data();
    void launchesOnlyWhileASlotIsFree();
    void spawnTimerNeverBelowOneMillisecond();
    void keys_data();
    void keys();
    void bombReleasedUnderMiddleColumn_data();
    void bombReleasedUnderMiddleColumn();
    void losingFocusStopsSteering();
};

void tst_Board::startsFirstGameAtNormal()
{
    BoardFixture f; // for its settings folder
    OutputCapture quiet;
    Board b;
    QCOMPARE(A::subCount(b), 0);
    QCOMPARE(A::bombCount(b), 0);
    QCOMPARE(A::score(b), 0);
    QCOMPARE(A::lives(b), 3);
    QCOMPARE(A::subInterval(b), 4499.0f);
    QCOMPARE(A::waterPhase(b), 0.0f);
    QCOMPARE(A::destroyerX(b), 105.0f);
    QVERIFY(!A::gameOver(b) && !A::leftPressed(b) && !A::rightPressed(b));
    QCOMPARE(b.focusPolicy(), Qt::StrongFocus);
    QVERIFY(b.highScores);

    QTimer* tick = b.findChild<QTimer*>(QStringLiteral("mainTimer"));
    QTimer* spawn = b.findChild<QTimer*>(QStringLiteral("newSubTimer"));
    QCOMPARE(tick, A::mainTimer(b));
    QCOMPARE(spawn, A::newSubTimer(b));
    QVERIFY(tick->isActive() && spawn->isActive());
    QCOMPARE(tick->interval(), 20);
    QCOMPARE(tick->timerType(), Qt::PreciseTimer);
    QCOMPARE(spawn->interval(), 4499);
    QVERIFY(!tick->isSingleShot() && !spawn->isSingleShot());
}

void tst_Board::destroyerStartsCentred_data()
{
    QTest::addColumn<int>("width"); // 0: none in the folder
    QTest::addColumn<float>("expected");
    QTest::newRow("31 wide") << 31 << 105.0f;
    QTest::newRow("30 wide") << 30 << 105.0f;
    QTest::newRow("missing: the built-in one") << 0 << 105.0f;
}

void tst_Board::destroyerStartsCentred()
{
    QFETCH(int, width);
    QFETCH(float, expected);
    QTemporaryDir workdir;
    QVERIFY(TestEnvironment::installDesktopPictures(workdir.path()));
    const QString file = workdir.path() + "/ipk/opt/QtPalmtop/pics/marlovex/destroyer.png";
    QVERIFY(QFile::remove(file));
    if (width) {
        QImage picture(width, 30, QImage::Format_ARGB32);
        picture.fill(Qt::gray);
        QVERIFY(picture.save(file));
    }
    const QString saved = QDir::currentPath();
    QDir::setCurrent(workdir.path());
    qputenv("XAUTHORITY", "");
    BoardFixture f;
    const QByteArray printed = f.printed();
    qunsetenv("XAUTHORITY");
    QDir::setCurrent(saved);

    QCOMPARE(A::destroyerX(f.board()), expected);
    QCOMPARE(printed.contains("Couldn't load ipk/opt/QtPalmtop/pics/marlovex/destroyer.png\n"), width == 0);
}

void tst_Board::newGameResetsFromAnyState_data()
{
    QTest::addColumn<GameState>("from");
    QTest::addColumn<int>("difficulty");
    QTest::addColumn<float>("interval");
    const std::pair<const char*, GameState> states[] = {{"running", GameState::Running}, {"paused", GameState::Stopped}, {"over", GameState::Over}};
    const std::pair<const char*, int> levels[] = {{"easy", 0}, {"normal", 1}, {"hard", 2}};
    for (const auto& [stateName, state] : states)
        for (const auto& [levelName, level] : levels)
            QTest::addRow("%s, %s", levelName, stateName) << state << level << float(4500 - level);
}

void tst_Board::newGameResetsFromAnyState()
{
    QFETCH(GameState, from);
    QFETCH(int, difficulty);
    QFETCH(float, interval);
    BoardFixture f;
    Board& b = f.board();
    enter(b, from);
    A::addSub(b, 50, 80, 20);
    A::addSub(b, 90, 120, -20);
    A::addBomb(b, 60, 100);
    A::score(b) = 870;
    A::lives(b) = from == GameState::Over ? -1 : 1;
    A::destroyerX(b) = 17.0f;
    A::waterPhase(b) = 5.5f;
    A::rightPressed(b) = true;

    b.newGame(difficulty);

    QCOMPARE(stateOf(b), GameState::Running);
    QCOMPARE(A::subCount(b), 0);
    QCOMPARE(A::bombCount(b), 0);
    QVERIFY(!A::sub(b, 0) && !A::bomb(b, 0));
    QCOMPARE(A::score(b), 0);
    QCOMPARE(A::lives(b), 3);
    QCOMPARE(A::subInterval(b), interval);
    QCOMPARE(A::newSubTimer(b)->interval(), int(interval));
    // What belongs to the player rather than the game carries over.
    QCOMPARE(A::destroyerX(b), 17.0f);
    QCOMPARE(A::waterPhase(b), 5.5f);
    QVERIFY(A::rightPressed(b));
}

void tst_Board::lifecycleStates_data()
{
    QTest::addColumn<GameState>("from");
    QTest::addColumn<bool>("pause"); // else resume
    QTest::addColumn<GameState>("to");
    QTest::newRow("running, pause") << GameState::Running << true << GameState::Stopped;
    QTest::newRow("paused, pause") << GameState::Stopped << true << GameState::Stopped;
    QTest::newRow("over, pause") << GameState::Over << true << GameState::Over;
    QTest::newRow("running, resume") << GameState::Running << false << GameState::Running;
    QTest::newRow("paused, resume") << GameState::Stopped << false << GameState::Running;
    QTest::newRow("over, resume") << GameState::Over << false << GameState::Over;
}

void tst_Board::lifecycleStates()
{
    QFETCH(GameState, from);
    QFETCH(bool, pause);
    QFETCH(GameState, to);
    BoardFixture f;
    enter(f.board(), from);
    if (pause)
        f.board().pauseGame();
    else
        f.board().resumeGame();
    QCOMPARE(stateOf(f.board()), to);
}

void tst_Board::resumeRestartsSpawnCountdown()
{
    BoardFixture f;
    Board& b = f.board();
    b.newGame(0);
    // The spawn timer is coarse: its countdown may be up to 5 % off.
    QTest::qWait(500);
    QVERIFY(A::newSubTimer(b)->remainingTime() < 4500 * 95 / 100);
    b.resumeGame(); // "Unpause" while not paused
    QVERIFY(A::newSubTimer(b)->remainingTime() >= 4500 * 95 / 100);
    b.pauseGame();
}

void tst_Board::launchFromEitherSide_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("depthDraw");
    QTest::addColumn<int>("speedDraw");
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<float>("speed");
    // The sub is 26 wide: from the left it starts wholly off the field.
    QTest::newRow("1, 0, 0: right, shallowest, slowest") << 1 << 0 << 0 << -26.0f << 60.0f << 29.0f;
    QTest::newRow("shallowest, fastest") << 0 << 3 << 19 << 240.0f << 63.0f << -48.0f;
    QTest::newRow("deepest, slowest") << 1 << 189 << 0 << -26.0f << 249.0f << 5.0f;
    QTest::newRow("deepest, fastest") << 0 << 188 << 19 << 240.0f << 248.0f << -24.0f;
    QTest::newRow("middle") << 0 << 100 << 10 << 240.0f << 160.0f << -26.0f;
}

void tst_Board::launchFromEitherSide()
{
    QFETCH(int, direction);
    QFETCH(int, depthDraw);
    QFETCH(int, speedDraw);
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(float, speed);
    BoardFixture f;
    Board& b = f.board();
    A::addSub(b, 100, 100, 10);
    Sea::seedGenerator(BoardFixture::seedFor(direction, depthDraw, speedDraw));
    A::launch(b);
    QCOMPARE(A::subCount(b), 2);
    const Sub* sub = A::sub(b, 1);
    QCOMPARE(sub->x, x);
    QCOMPARE(sub->y, y);
    QCOMPARE(sub->speed, speed);

    // Neither start counts as an escape.
    A::sub(b, 1)->speed = 0;
    A::tick(b);
    QCOMPARE(A::subCount(b), 2);
    QCOMPARE(A::lives(b), 3);
}

void tst_Board::intervalShrinksByOneHundredFiftieth_data()
{
    QTest::addColumn<int>("difficulty");
    QTest::addColumn<QList<int>>("firstThree"); // empty: not given
    QTest::newRow("easy") << 0 << QList<int>{4470, 4440, 4410};
    QTest::newRow("normal") << 1 << QList<int>();
    QTest::newRow("hard") << 2 << QList<int>();
}

void tst_Board::intervalShrinksByOneHundredFiftieth()
{
    QFETCH(int, difficulty);
    QFETCH(QList<int>, firstThree);
    BoardFixture f;
    Board& b = f.board();
    b.newGame(difficulty);
    QList<int> handed;
    for (int launch = 1; launch <= 329; ++launch) {
        A::launch(b);
        handed << A::newSubTimer(b)->interval();
    }
    b.pauseGame();
    if (!firstThree.isEmpty())
        QCOMPARE(handed.mid(0, 3), firstThree);
    QVERIFY(handed[223] >= 1000);
    QVERIFY(handed[224] < 1000);
    QVERIFY(handed[327] >= 500);
    QVERIFY(handed[328] < 500);
    QCOMPARE(A::newSubTimer(b)->interval(), int(A::subInterval(b)));
}

void tst_Board::launchesOnlyWhileASlotIsFree_data()
{
    QTest::addColumn<int>("alive");
    QTest::newRow("19: the last slot") << 19;
    QTest::newRow("20: none free") << 20;
}

void tst_Board::launchesOnlyWhileASlotIsFree()
{
    QFETCH(int, alive);
    BoardFixture f;
    Board& b = f.board();
    for (int i = 0; i < alive; ++i)
        A::addSub(b, 100, 60 + i, -10);
    Sea::seedGenerator(42);
    std::rand();
    std::rand();
    std::rand();
    const int fourth = std::rand();
    Sea::seedGenerator(42);

    A::launch(b);

    QCOMPARE(A::subCount(b), Board::MaxSubs);
    QCOMPARE(A::sub(b, 18)->y, 78.0f);
    QCOMPARE(A::sub(b, 19)->y == 79.0f, alive == 20);
    QCOMPARE(std::rand(), fourth);          // the three draws were still made
    QCOMPARE(A::subInterval(b), 4499.0f - 4499.0f / 150.0f);
}

void tst_Board::spawnTimerNeverBelowOneMillisecond()
{
    BoardFixture f;
    Board& b = f.board();
    b.newGame(1);
    A::subInterval(b) = 0.9f;
    A::subCount(b) = 0;
    A::launch(b);
    QCOMPARE(A::subInterval(b), 0.9f - 0.9f / 150.0f); // keeps shrinking
    QCOMPARE(A::newSubTimer(b)->interval(), 1);
    b.pauseGame();
    b.resumeGame();
    QCOMPARE(A::newSubTimer(b)->interval(), 1);
    b.pauseGame();
}

void tst_Board::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("press");
    QTest::addColumn<bool>("autoRepeat");
    QTest::addColumn<int>("falling"); // bombs already falling
    QTest::addColumn<bool>("left");   // flags after the event, both set before a release
    QTest::addColumn<bool>("right");
    QTest::addColumn<int>("dropped");

    QTest::newRow("Left pressed") << int(Qt::Key_Left) << true << false << 0 << true << false << 0;
    QTest::newRow("Right pressed") << int(Qt::Key_Right) << true << false << 0 << false << true << 0;
    QTest::newRow("Left released") << int(Qt::Key_Left) << false << false << 0 << false << true << 0;
    QTest::newRow("Right released") << int(Qt::Key_Right) << false << false << 0 << true << false << 0;
    QTest::newRow("Left auto-repeat release") << int(Qt::Key_Left) << false << true << 0 << true << true << 0;
    QTest::newRow("Return fires") << int(Qt::Key_Return) << true << false << 0 << false << false << 1;
    QTest::newRow("Control fires") << int(Qt::Key_Control) << true << false << 0 << false << false << 1;
    QTest::newRow("third bomb") << int(Qt::Key_Return) << true << false << 2 << false << false << 1;
    QTest::newRow("no fourth bomb") << int(Qt::Key_Return) << true << false << 3 << false << false << 0;
    QTest::newRow("auto-repeat fires") << int(Qt::Key_Control) << true << true << 1 << false << false << 1;
    QTest::newRow("Return released") << int(Qt::Key_Return) << false << false << 0 << true << true << 0;
    QTest::newRow("Control released") << int(Qt::Key_Control) << false << false << 0 << true << true << 0;
    QTest::newRow("Space") << int(Qt::Key_Space) << true << false << 0 << false << false << 0;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << true << false << 0 << false << false << 0;
    QTest::newRow("Up released") << int(Qt::Key_Up) << false << false << 0 << true << true << 0;
}

void tst_Board::keys()
{
    QFETCH(int, key);
    QFETCH(bool, press);
    QFETCH(bool, autoRepeat);
    QFETCH(int, falling);
    QFETCH(bool, left);
    QFETCH(bool, right);
    QFETCH(int, dropped);
    BoardFixture f;
    Board& b = f.board(); // paused: keys act in every state
    for (int i = 0; i < falling; ++i)
        A::addBomb(b, 20, 100);
    A::leftPressed(b) = A::rightPressed(b) = !press;
    A::score(b) = 5;

    Keys::send(&b, press ? QEvent::KeyPress : QEvent::KeyRelease, key, autoRepeat);

    QCOMPARE(A::leftPressed(b), left);
    QCOMPARE(A::rightPressed(b), right);
    QCOMPARE(A::bombCount(b), falling + dropped);
    QCOMPARE(A::score(b), 5 - 10 * dropped); // may go below zero until the next frame
    if (dropped)
        QCOMPARE(A::bomb(b, falling)->y, 40.0f);
}

void tst_Board::bombReleasedUnderMiddleColumn_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<float>("destroyerX");
    QTest::addColumn<float>("x");
    QTest::newRow("30 wide at -1") << 30 << -1.0f << 14.0f;
    QTest::newRow("41 wide at 99") << 41 << 99.0f << 119.0f;
    QTest::newRow("31 wide at the start") << 31 << 105.0f << 120.0f;
    QTest::newRow("31 wide at 208.5") << 31 << 208.5f << 223.0f;
}

void tst_Board::bombReleasedUnderMiddleColumn()
{
    QFETCH(int, width);
    QFETCH(float, destroyerX);
    QFETCH(float, x);
    BoardFixture f;
    Board& b = f.board();
    A::setDestroyerPix(b, QPixmap(width, 30));
    A::destroyerX(b) = destroyerX;
    Keys::press(&b, Qt::Key_Return);
    QCOMPARE(A::bomb(b, 0)->x, x);
    QCOMPARE(A::bomb(b, 0)->y, 40.0f);
    QCOMPARE(A::bomb(b, 0)->speed, 30.0f);
}

void tst_Board::losingFocusStopsSteering()
{
    BoardFixture f;
    Board& b = f.board();
    b.show();
    b.activateWindow();
    b.setFocus();
    QVERIFY(QTest::qWaitForWindowActive(&b));
    Keys::press(&b, Qt::Key_Right);
    Keys::press(&b, Qt::Key_Left);
    QWidget elsewhere;
    elsewhere.setFocusPolicy(Qt::StrongFocus);
    elsewhere.show();
    elsewhere.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
    QVERIFY(!A::leftPressed(b));
    QVERIFY(!A::rightPressed(b));
    b.pauseGame();
}

QTEST_MAIN(tst_Board)
#include "tst_board.moc"
