// A whole game in the real program's window, as a desktop player plays it
// (run under xvfb-run): P pauses with the sign and goes on, Space fires, and
// once nobody has stopped four submarines F2 starts a new game; the game's
// recording replays to its score, and plays again on the field from the menu.
// Played to its end by nobody, a game takes a minute or so: this runs in the
// plain build.

#include "frametest.h"
#include "gamewindow.h"
#include "testpaths.h"

#include "board/board.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class tst_Play : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keysOfADesktopGame();

private:
    QImage board(); // the board's pixels on the screen now
    int bombsToHand(const QImage& field);

    QTemporaryDir home;
    std::unique_ptr<GameWindow> window;
};

void tst_Play::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run me under xvfb-run");
    QVERIFY(QDir(home.path()).mkdir("runtime"));
    QFile::setPermissions(home.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    window = std::make_unique<GameWindow>(home.path() + "/runtime");
}

QImage tst_Play::board()
{
    const QPoint origin = window->geometry().topLeft();
    return window->screen().copy(QRect(origin + QPoint(0, 20), QSize(Board::FieldWidth, Board::FieldHeight)));
}

int tst_Play::bombsToHand(const QImage& field)
{
    const QImage bomb = QImage(TestPaths::pictures() + QStringLiteral("/bomb.png")).convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int i = 0; i < Board::MaxBombs; ++i)
        count += FrameTest::spriteAt(field, bomb, QPoint(Board::FieldWidth - (i + 1) * 8, 3));
    return count;
}

void tst_Play::keysOfADesktopGame()
{
    QTemporaryDir elsewhere;
    QVERIFY(window->launch(elsewhere.path(), home.path() + "/keys"));
    auto dark = [](const QImage& field) { return qGray(field.pixel(Board::FieldWidth / 2, 100)) < 40; };
    auto moving = [this] {
        const QImage before = board();
        for (int waited = 0; waited < 3000; waited += 50) {
            if (!FrameTest::samePixels(board(), before))
                return true;
            QTest::qWait(50);
        }
        return false;
    };

    // P: frozen, with the sign.
    window->key("p");
    QTRY_VERIFY_WITH_TIMEOUT(dark(board()), 3000);
    const QImage paused = board();
    QTest::qWait(500);
    QVERIFY(FrameTest::samePixels(board(), paused));
    // P again: moving, the sign gone.
    window->key("p");
    QVERIFY(moving());
    QVERIFY(!dark(board()));
    // Space: a bomb.
    QCOMPARE(bombsToHand(board()), 3);
    window->key("space");
    QTRY_COMPARE_WITH_TIMEOUT(bombsToHand(board()), 2, 3000);

    // Four submarines get across: the game-over box, answered once the
    // fire keys have rested; no place for this score.
    QTRY_COMPARE_WITH_TIMEOUT(window->visibleWindows(), 2, 150000);
    QTest::qWait(1000);
    GameWindow::run("xdotool", {"key", "Return"});
    QTRY_COMPARE_WITH_TIMEOUT(window->visibleWindows(), 1, 5000);
    // The field says how to go on; F2 does.
    QTRY_VERIFY_WITH_TIMEOUT(dark(board()), 3000);
    const QImage over = board();
    QTest::qWait(500);
    QVERIFY(FrameTest::samePixels(board(), over));
    window->key("F2");
    QVERIFY(moving());
    QTRY_VERIFY_WITH_TIMEOUT(!dark(board()), 3000);
    QCOMPARE(bombsToHand(board()), 3);

    // The game that ended was kept, and replays to its score.
    QProcess verifier;
    verifier.start(TestPaths::program(),
                   {QStringLiteral("--verify-replay"), home.path() + "/keys/data/marlovex/replays/last.replay"});
    QVERIFY(verifier.waitForFinished(30000));
    QVERIFY2(verifier.exitCode() == 0, verifier.readAllStandardOutput() + verifier.readAllStandardError());
    // Replays → Watch Last Game: the sign below the surface; Escape, the game again.
    auto signShown = [this] { return qGray(board().pixel(Board::FieldWidth / 2, Board::WaterY + 8)) < 70; };
    QVERIFY(!signShown());
    window->key("alt+r");
    QTest::qWait(300);
    window->key("l");
    QTRY_VERIFY_WITH_TIMEOUT(signShown(), 3000);
    window->key("Escape");
    QTRY_VERIFY_WITH_TIMEOUT(!signShown(), 3000);
    QVERIFY(moving());
}

QTEST_GUILESS_MAIN(tst_Play)
#include "tst_play.moc"
