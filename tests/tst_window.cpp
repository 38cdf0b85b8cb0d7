// The real program in a real X window on a screen of the handheld's era (run
// under xvfb-run, no window manager): started from the folder the README's run
// command uses, or from any other.

#include "frametest.h"
#include "gamewindow.h"
#include "testpaths.h"

#include "board/board.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/resource.h>

namespace {

QImage picture(const char* name)
{
    return QImage((TestPaths::pictures() + QStringLiteral("/%1.png")).arg(QLatin1String(name)))
        .convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class tst_Window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowIsTheHandheldsSize();
    void skyWaterAndScoreInPlace();
    void rightMovesTheDestroyer();
    void returnDropsABomb();
    void pauseAndUnpauseByKeyboard();
    void exitByKeyboardWritesTheList();
    void picturesFromAnyFolder();
    void sigtermWithABoxOpenWritesTheList();
    void fileSizeLimitFailsTheWriteOnly();
    void noDisplayIsOneLine_data();
    void noDisplayIsOneLine();

private:
    QImage board();                 // the board's pixels on the screen now
    int destroyerX(const QImage& field);
    int bombsToHand(const QImage& field);
    bool seaAndSkyShown(const QImage& field);

    QTemporaryDir home;
    std::unique_ptr<GameWindow> window;
};

void tst_Window::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run me under xvfb-run");
    QVERIFY2(qEnvironmentVariableIsSet("XAUTHORITY"), "the desktop picture path needs XAUTHORITY");
    QVERIFY(QDir(home.path()).mkdir("runtime"));
    QFile::setPermissions(home.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    window = std::make_unique<GameWindow>(home.path() + "/runtime");
    QVERIFY(window->launch(TestPaths::buildDir(), home.path() + "/config"));
}

QImage tst_Window::board()
{
    const QPoint origin = window->geometry().topLeft();
    return window->screen().copy(QRect(origin + QPoint(0, 20), QSize(Board::FieldWidth, Board::FieldHeight)));
}

int tst_Window::destroyerX(const QImage& field)
{
    const QImage destroyer = picture("destroyer");
    for (int x = 0; x <= Board::FieldWidth - destroyer.width(); ++x)
        if (FrameTest::spriteAt(field, destroyer, QPoint(x, 10)))
            return x;
    return -1;
}

int tst_Window::bombsToHand(const QImage& field)
{
    int count = 0;
    for (int i = 0; i < Board::MaxBombs; ++i)
        count += FrameTest::spriteAt(field, picture("bomb"), QPoint(Board::FieldWidth - (i + 1) * 8, 3));
    return count;
}

void tst_Window::windowIsTheHandheldsSize()
{
    QCOMPARE(window->geometry().size(), QSize(240, 285));
}

// Clear sky away from clouds and icons, and one of the eight sea frames at y 40.
bool tst_Window::seaAndSkyShown(const QImage& field)
{
    if (field.pixel(60, 30) != picture("sky").pixel(60, 30) || field.pixel(200, 8) != picture("sky").pixel(200, 8))
        return false;
    for (int i = 1; i <= Board::WaterFrames; ++i) {
        const QImage frame = QImage((TestPaths::pictures() + QStringLiteral("/water%1.png")).arg(i)).convertToFormat(QImage::Format_ARGB32);
        if (FrameTest::samePixels(field.copy(0, Board::WaterY, Board::FieldWidth, 20), frame.copy(0, 0, Board::FieldWidth, 20)))
            return true;
    }
    return false;
}

void tst_Window::skyWaterAndScoreInPlace()
{
    const QImage field = board();
    QVERIFY(seaAndSkyShown(field));
    // The score text, dark on the sky, fully below the menu bar.
    int ink = 0;
    for (int y = 3; y <= 12; ++y)
        for (int x = 3; x < 60; ++x)
            ink += qGray(field.pixel(x, y)) < 100;
    QVERIFY2(ink > 20, qPrintable(QString::number(ink)));
    QCOMPARE(destroyerX(field), 105);
    QCOMPARE(bombsToHand(field), 3);
}

void tst_Window::rightMovesTheDestroyer()
{
    const int before = destroyerX(board());
    QVERIFY(before >= 0);
    GameWindow::run("xdotool", {"keydown", "Right"});
    QTest::qWait(400);
    GameWindow::run("xdotool", {"keyup", "Right"});
    QTRY_VERIFY_WITH_TIMEOUT(destroyerX(board()) > before + 10, 3000);
}

void tst_Window::returnDropsABomb()
{
    QCOMPARE(bombsToHand(board()), 3);
    window->key("Return");
    QTRY_COMPARE_WITH_TIMEOUT(bombsToHand(board()), 2, 3000);
}

void tst_Window::pauseAndUnpauseByKeyboard()
{
    window->choose("g", "p");
    QTest::qWait(100);
    const QImage paused = board();
    QTest::qWait(500); // more than two water frames
    QVERIFY(FrameTest::samePixels(board(), paused));

    window->choose("g", "u");
    const QImage running = board();
    // Latched, for the sea comes back to the same frame every 80 ticks.
    bool moved = false;
    QTRY_VERIFY_WITH_TIMEOUT(moved = moved || !FrameTest::samePixels(board(), running), 3000);
}

void tst_Window::exitByKeyboardWritesTheList()
{
    window->key("alt+m");
    QTRY_COMPARE_WITH_TIMEOUT(window->visibleWindows(), 2, 5000);
    GameWindow::run("xdotool", {"key", "e"});
    QProcess& game = window->game();
    QTRY_COMPARE_WITH_TIMEOUT(game.state(), QProcess::NotRunning, 5000);
    QCOMPARE(game.exitStatus(), QProcess::NormalExit);
    QCOMPARE(game.exitCode(), 0);
    const QByteArray out = game.readAllStandardOutput();
    QVERIFY2(!out.contains("Couldn't load"), out.constData());

    QFile settings(home.path() + "/config/marlovex/Marlovex.conf");
    QVERIFY(settings.open(QIODevice::ReadOnly));
    const QByteArray list = settings.readAll();
    QVERIFY(list.startsWith("[score]\nP0 = Ada Marvel\nP1 = Ben Grand\n"));
    QVERIFY(list.endsWith("S8 = 700\nS9 = 500\n"));
}

void tst_Window::picturesFromAnyFolder()
{
    // Typed in a terminal in any folder: no picture tree below it.
    QTemporaryDir elsewhere;
    QVERIFY(window->launch(elsewhere.path(), home.path() + "/config"));
    QTRY_VERIFY_WITH_TIMEOUT(seaAndSkyShown(board()), 5000);
    QCOMPARE(destroyerX(board()), 105);
    QVERIFY(window->terminate());
    QVERIFY(window->game().readAllStandardOutput().contains("Couldn't load ipk/opt/QtPalmtop/pics/marlovex/sky.png\n"));
}

void tst_Window::sigtermWithABoxOpenWritesTheList()
{
    // A first start: the new list reaches the disk only on the way out.
    QTemporaryDir elsewhere;
    const QString config = home.path() + "/sigterm";
    QVERIFY(window->launch(elsewhere.path(), config));
    window->key("alt+m");
    QTRY_COMPARE_WITH_TIMEOUT(window->visibleWindows(), 2, 5000); // the popup
    GameWindow::run("xdotool", {"key", "r"});
    QTest::qWait(500);
    QCOMPARE(window->visibleWindows(), 2); // the Rules box, in its own event loop
    QVERIFY(window->terminate());
    QCOMPARE(window->game().exitStatus(), QProcess::NormalExit);
    QCOMPARE(window->game().exitCode(), 0);
    QFile settings(config + "/marlovex/Marlovex.conf");
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QVERIFY(settings.readAll().startsWith("[score]\nP0 = Ada Marvel\n"));
}

void tst_Window::fileSizeLimitFailsTheWriteOnly()
{
    // A list larger than the limit (ulimit -f 1): the write at the end fails
    // and says so, the game ends as asked and the old list stays whole.
    const QString config = home.path() + "/limited";
    QVERIFY(QDir().mkpath(config + "/marlovex"));
    QByteArray list = "[score]\n";
    for (int i = 0; i < 10; ++i)
        list += "P" + QByteArray::number(i) + " = " + QByteArray(300, char('a' + i)) + "\n";
    for (int i = 0; i < 10; ++i)
        list += "S" + QByteArray::number(i) + " = " + QByteArray::number(1000 - i) + "\n";
    QFile file(config + "/marlovex/Marlovex.conf");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(list);
    file.close();

    QProcess game;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config);
    env.insert("XDG_RUNTIME_DIR", home.path() + "/runtime");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QT_LOGGING_RULES", "marlovex.timing.debug=true");
    env.insert("QT_MESSAGE_PATTERN", "%{message}");
    game.setProcessEnvironment(env);
    game.setChildProcessModifier([] {
        const struct rlimit limit = {1024, 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    QTemporaryDir elsewhere;
    game.setWorkingDirectory(elsewhere.path());
    game.start(TestPaths::program(), {});
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += game.readAllStandardError()).contains("\nframe\n"), 10000);
    game.terminate();
    QVERIFY(game.waitForFinished(5000));
    err += game.readAllStandardError();
    QCOMPARE(game.exitStatus(), QProcess::NormalExit);
    QCOMPARE(game.exitCode(), 0);
    QVERIFY2(err.contains("Could not save " + QFile::encodeName(file.fileName()) + ": File too large"), err.right(300).constData());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), list);
}

void tst_Window::noDisplayIsOneLine_data()
{
    QTest::addColumn<QString>("variable"); // set to a display that is not there; empty: none set
    QTest::addColumn<QString>("said");
    QTest::newRow("none named") << "" << "neither WAYLAND_DISPLAY nor DISPLAY is set";
    QTest::newRow("an X display that is not there") << "DISPLAY=:987" << "no display could be opened (could not connect";
    QTest::newRow("a Wayland socket that is not there") << "WAYLAND_DISPLAY=nowhere" << "no display could be opened";
}

void tst_Window::noDisplayIsOneLine()
{
    QFETCH(QString, variable);
    QFETCH(QString, said);
    QProcess game;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XAUTHORITY"})
        env.remove(name);
    if (!variable.isEmpty())
        env.insert(variable.section('=', 0, 0), variable.section('=', 1));
    env.insert("XDG_RUNTIME_DIR", home.path() + "/runtime");
    env.insert("XDG_CONFIG_HOME", home.path() + "/nodisplay");
    game.setProcessEnvironment(env);
    game.start(TestPaths::program(), {});
    QVERIFY(game.waitForFinished(10000));
    QCOMPARE(game.exitStatus(), QProcess::NormalExit); // not an abort
    QCOMPARE(game.exitCode(), 1);
    const QByteArray err = game.readAllStandardError();
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.startsWith("marlovex: ") && err.contains(said.toUtf8()), err.constData());
}

QTEST_GUILESS_MAIN(tst_Window)
#include "tst_window.moc"
