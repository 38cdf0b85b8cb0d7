// What a new player meets first, in the real program at 1x on a 1920 x 1080
// screen managed by openbox: every menu title in sight, Escape closing the
// Keys dialog, a replay's sign with room around its words.

#include "gamewindow.h"
#include "testpaths.h"

#include "board/board.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

bool dark(QRgb pixel)
{
    return qGray(pixel) < 110;
}

bool white(QRgb pixel)
{
    return qRed(pixel) > 240 && qGreen(pixel) > 240 && qBlue(pixel) > 240;
}

} // namespace

class tst_FirstLook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyMenuTitleInSightAt1x();
    void escapeClosesKeysAndKeepsThem();
    void signHasRoomAroundItsWords();

private:
    QTemporaryDir home;
    QProcess windowManager;
    std::unique_ptr<GameWindow> window;
    QString config;
};

void tst_FirstLook::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run me under xvfb-run");
    QVERIFY(QDir(home.path()).mkdir("runtime"));
    QFile::setPermissions(home.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    windowManager.start(QStringLiteral("openbox"), {});
    QVERIFY(windowManager.waitForStarted());
    QTest::qWait(1000); // until it manages the screen
    config = home.path() + "/config";
    QVERIFY(QDir().mkpath(config + "/marlovex"));
    QFile settings(config + "/marlovex/Desktop.conf");
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[window]\nSize = 1\n");
    settings.close();
    QVERIFY(QDir().mkpath(config + "/data/marlovex/replays"));
    QVERIFY(QFile::copy(TestPaths::recordings() + "/autopilot-easy-3541.replay",
                        config + "/data/marlovex/replays/last.replay"));
    window = std::make_unique<GameWindow>(home.path() + "/runtime");
    QTemporaryDir elsewhere;
    QVERIFY(window->launch(elsewhere.path(), config));
    QCOMPARE(window->geometry().size(), QSize(Board::FieldWidth, 20 + Board::FieldHeight));
}

void tst_FirstLook::cleanupTestCase()
{
    window.reset();
    windowManager.terminate();
    windowManager.waitForFinished();
}

void tst_FirstLook::everyMenuTitleInSightAt1x()
{
    // The words of the menu bar, left to right: four titles, none of them an
    // overflow button's "»".
    const QImage shot = window->screen();
    const QRect bar = window->geometry().adjusted(0, 0, 0, -Board::FieldHeight);
    QList<QPair<int, int>> words; // first and last column with writing
    int gap = 99;
    for (int x = bar.left(); x <= bar.right(); ++x) {
        bool ink = false;
        for (int y = bar.top() + 3; y < bar.bottom() - 2 && !ink; ++y)
            ink = dark(shot.pixel(x, y));
        if (ink) {
            if (gap >= 7)
                words.append({x, x});
            words.back().second = x;
            gap = 0;
        } else {
            ++gap;
        }
    }
    QStringList seen;
    for (const auto& [from, to] : words)
        seen << QStringLiteral("%1-%2").arg(from - bar.left()).arg(to - bar.left());
    QVERIFY2(words.size() == 4, qPrintable(seen.join(' ')));
    for (const auto& [from, to] : words)
        QVERIFY2(to - from >= 20, qPrintable(seen.join(' '))); // a word, not "»"
}

void tst_FirstLook::escapeClosesKeysAndKeepsThem()
{
    const QString file = config + "/marlovex/Desktop.conf";
    QFile before(file);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray settings = before.readAll();
    before.close();
    window->key("alt+s");
    QTRY_COMPARE_WITH_TIMEOUT(window->visibleWindows(), 2, 5000);
    GameWindow::run("xdotool", {"key", "k"});
    QTRY_COMPARE_WITH_TIMEOUT(window->visibleWindows(), 2, 5000); // the dialog, with a key's field focused
    QTest::qWait(300);
    GameWindow::run("xdotool", {"key", "Escape"});
    QTRY_COMPARE_WITH_TIMEOUT(window->visibleWindows(), 1, 5000);
    QFile after(file);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), settings);
}

void tst_FirstLook::signHasRoomAroundItsWords()
{
    window->choose("r", "l");
    QTest::qWait(500);
    window->key("1");
    const QImage shot = window->screen();
    const QRect field = window->geometry().adjusted(0, 20, 0, 0);
    // The sign's white frame, two pixels below the surface.
    const int top = field.top() + Board::WaterY + 2;
    int left = -1, right = -1;
    for (int x = field.left(); x <= field.right(); ++x) {
        if (white(shot.pixel(x, top))) {
            if (left < 0)
                left = x;
            right = x;
        }
    }
    QVERIFY2(left >= 0 && right - left > 100, "no sign below the surface");
    int bottom = top + 1;
    while (bottom < field.bottom() && !white(shot.pixel(left + 2, bottom)))
        ++bottom;
    QVERIFY(bottom < field.bottom());
    // No writing within five pixels of the frame.
    for (int y = top + 1; y < bottom; ++y) {
        for (int x = left + 1; x < right; ++x) {
            const bool nearFrame = y <= top + 5 || y >= bottom - 5 || x <= left + 5 || x >= right - 5;
            if (nearFrame && white(shot.pixel(x, y)))
                QFAIL(qPrintable(QStringLiteral("writing at %1, %2 of the sign").arg(x - left).arg(y - top)));
        }
    }
    window->key("Escape");
}

QTEST_MAIN(tst_FirstLook)
#include "tst_firstlook.moc"
