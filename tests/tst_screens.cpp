// The real program on today's screen (run under xvfb-run at 1920 x 1080, with
// openbox managing the windows): its first size, a larger one chosen from the
// Settings menu and kept for the next start, and full screen.

#include "frametest.h"
#include "gamewindow.h"

#include "board/board.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

bool allBlack(const QImage& shot, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); y += 7)
        for (int x = area.left(); x <= area.right(); x += 7)
            if ((shot.pixel(x, y) & 0xffffff) != 0)
                return false;
    return true;
}

} // namespace

class tst_Screens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void firstStartIsTwiceTheSize();
    void threeTimesIsWholeBlocks();
    void sizeIsKeptForTheNextStart();
    void fullScreenShowsTheFieldAt4xOnBlack();
    void fullScreenAgainGoesBack();
    void windowManagersFullScreenIsKept();
    void fullScreenAtStartEveryTime();

private:
    QTemporaryDir home;
    QProcess windowManager;
    std::unique_ptr<GameWindow> window;
    QString config;
};

void tst_Screens::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run me under xvfb-run");
    QVERIFY(QDir(home.path()).mkdir("runtime"));
    QFile::setPermissions(home.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    windowManager.start(QStringLiteral("openbox"), {});
    QVERIFY(windowManager.waitForStarted());
    QTest::qWait(1000); // until it manages the screen
    window = std::make_unique<GameWindow>(home.path() + "/runtime");
    config = home.path() + "/config";
    QTemporaryDir elsewhere;
    QVERIFY(window->launch(elsewhere.path(), config));
}

void tst_Screens::cleanupTestCase()
{
    window.reset();
    windowManager.terminate();
    windowManager.waitForFinished();
}

void tst_Screens::firstStartIsTwiceTheSize()
{
    QCOMPARE(window->geometry().size(), QSize(480, 550));
}

void tst_Screens::threeTimesIsWholeBlocks()
{
    window->choose("s", "3");
    QTRY_COMPARE_WITH_TIMEOUT(window->geometry().size(), QSize(720, 815), 5000);
    QTest::qWait(200);
    const QRect inside = window->geometry();
    // Below the score line, which may be drawn finer.
    const QRect field(inside.topLeft() + QPoint(0, 20 + 3 * 16), QSize(720, 3 * (Board::FieldHeight - 16)));
    QVERIFY(FrameTest::wholeBlocks(window->screen(), field, 3));
}

void tst_Screens::sizeIsKeptForTheNextStart()
{
    QVERIFY(window->terminate());
    QTemporaryDir elsewhere;
    QVERIFY(window->launch(elsewhere.path(), config));
    QCOMPARE(window->geometry().size(), QSize(720, 815));
}

void tst_Screens::fullScreenShowsTheFieldAt4xOnBlack()
{
    window->key("F11");
    QTRY_COMPARE_WITH_TIMEOUT(window->geometry(), QRect(0, 0, 1920, 1080), 5000);
    QTest::qWait(300);
    // 4x is 960 x 1060: in the middle, below the menu bar, black on both sides.
    const QImage shot = window->screen();
    QVERIFY(allBlack(shot, QRect(0, 20, 480, 1060)));
    QVERIFY(allBlack(shot, QRect(1440, 20, 480, 1060)));
    QVERIFY(!allBlack(shot, QRect(480, 20, 960, 1060)));
    QVERIFY(FrameTest::wholeBlocks(shot, QRect(480, 20 + 4 * 16, 960, 4 * (Board::FieldHeight - 16)), 4));
    // Still playing: the sea moves on, and the submarines.
    const QRect field(480, 20, 960, 1060);
    // Latched: the sea comes back to the same frame every 80 ticks, and QTRY
    // looks once more after it has seen the change.
    bool moved = false;
    QTRY_VERIFY_WITH_TIMEOUT(moved = moved || window->screen().copy(field) != shot.copy(field), 15000);
}

void tst_Screens::fullScreenAgainGoesBack()
{
    window->key("F11");
    QTRY_COMPARE_WITH_TIMEOUT(window->geometry().size(), QSize(720, 815), 5000);
}

void tst_Screens::windowManagersFullScreenIsKept()
{
    // As the window manager's own keys or a tool like wmctrl ask it.
    GameWindow::run("wmctrl", {"-r", "Marlovex", "-b", "add,fullscreen"});
    QTRY_COMPARE_WITH_TIMEOUT(window->geometry(), QRect(0, 0, 1920, 1080), 5000);
    auto kept = [this] {
        QFile desktop(config + "/marlovex/Desktop.conf");
        return desktop.open(QIODevice::ReadOnly) && desktop.readAll().contains("FullScreen = 1\n");
    };
    QTRY_VERIFY_WITH_TIMEOUT(kept(), 5000);
    // And F11 takes it back to the window, as if F11 had made it full screen.
    window->key("F11");
    QTRY_COMPARE_WITH_TIMEOUT(window->geometry().size(), QSize(720, 815), 5000);
}

void tst_Screens::fullScreenAtStartEveryTime()
{
    window->key("F11");
    QTRY_COMPARE_WITH_TIMEOUT(window->geometry(), QRect(0, 0, 1920, 1080), 5000);
    for (int start = 1; start <= 10; ++start) {
        QVERIFY(window->terminate());
        QTemporaryDir elsewhere;
        QVERIFY(window->launch(elsewhere.path(), config));
        QTRY_VERIFY2_WITH_TIMEOUT(window->geometry() == QRect(0, 0, 1920, 1080),
                                  qPrintable(QStringLiteral("start %1").arg(start)), 5000);
        QTest::qWait(700); // longer than a late answer may take to count
        QCOMPARE(window->geometry(), QRect(0, 0, 1920, 1080));
        QFile desktop(config + "/marlovex/Desktop.conf");
        QVERIFY(desktop.open(QIODevice::ReadOnly));
        QVERIFY2(desktop.readAll().contains("FullScreen = 1\n"), qPrintable(QStringLiteral("start %1").arg(start)));
    }
    // The first F11 leaves it.
    window->key("F11");
    QTRY_COMPARE_WITH_TIMEOUT(window->geometry().size(), QSize(720, 815), 5000);
}

QTEST_GUILESS_MAIN(tst_Screens)
#include "tst_screens.moc"
