// The real program on a scaled desktop (run under xvfb-run at 1920 x 1080,
// openbox managing the windows): at 125, 150 and 200 % and with the desktop's
// own Xft.dpi of 144, every picture pixel is the same whole number of screen
// pixels, at the first size and in full screen, and the menu bar follows the
// scale.

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

// The first row below top, in the middle of the window, that is the sky's
// colour rather than the menu bar's: where the field starts.
int fieldTop(const QImage& shot, const QRect& window)
{
    const int x = window.left() + window.width() / 2 + 7;
    for (int y = window.top(); y < window.bottom(); ++y)
        if (qBlue(shot.pixel(x, y)) > qRed(shot.pixel(x, y)) + 40)
            return y - window.top();
    return -1;
}

} // namespace

class tst_Scales : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void picturePixelsAreEven_data();
    void picturePixelsAreEven();

private:
    QTemporaryDir home;
    QProcess windowManager;
};

void tst_Scales::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run me under xvfb-run");
    QVERIFY(QDir(home.path()).mkdir("runtime"));
    QFile::setPermissions(home.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    windowManager.start(QStringLiteral("openbox"), {});
    QVERIFY(windowManager.waitForStarted());
    QTest::qWait(1000);
}

void tst_Scales::cleanupTestCase()
{
    windowManager.terminate();
    windowManager.waitForFinished();
}

void tst_Scales::picturePixelsAreEven_data()
{
    QTest::addColumn<QString>("scale");       // QT_SCALE_FACTOR, or "xft" for Xft.dpi 144
    QTest::addColumn<int>("menuBar");         // its height in screen pixels
    QTest::addColumn<int>("firstPixels");     // screen pixels to a picture pixel, first start
    QTest::addColumn<int>("fullScreenPixels");
    // Below the menu bar, 1080 - 20 x scale pixels high: 4 only at 100 %.
    QTest::newRow("100 %") << "1" << 20 << 2 << 4;
    QTest::newRow("125 %") << "1.25" << 25 << 2 << 3;
    QTest::newRow("150 %") << "1.5" << 30 << 2 << 3;
    QTest::newRow("200 %") << "2" << 40 << 2 << 3;
    QTest::newRow("Xft.dpi 144") << "xft" << 30 << 2 << 3;
}

void tst_Scales::picturePixelsAreEven()
{
    QFETCH(QString, scale);
    QFETCH(int, menuBar);
    QFETCH(int, firstPixels);
    QFETCH(int, fullScreenPixels);
    QStringList environment;
    if (scale == "xft") {
        QProcess xrdb;
        xrdb.start(QStringLiteral("xrdb"), {"-nocpp", "-merge"});
        xrdb.write("Xft.dpi: 144\n");
        xrdb.closeWriteChannel();
        QVERIFY(xrdb.waitForFinished());
    } else {
        environment << "QT_SCALE_FACTOR=" + scale;
    }
    GameWindow window(home.path() + "/runtime");
    QTemporaryDir config, elsewhere;
    QVERIFY(window.launch(elsewhere.path(), config.path(), environment));
    const auto cleanUp = qScopeGuard([] { GameWindow::run("xrdb", {"-remove"}); });

    const QRect inside = window.geometry();
    QImage shot = window.screen();
    QCOMPARE(fieldTop(shot, inside), menuBar);
    QCOMPARE(inside.width(), Board::FieldWidth * firstPixels);
    // Below the score line, which is drawn at the screen's own resolution.
    const int below = 16 * firstPixels;
    QVERIFY(FrameTest::wholeBlocks(shot, QRect(inside.left(), inside.top() + menuBar + below, Board::FieldWidth * firstPixels,
                                    (Board::FieldHeight - 16) * firstPixels), firstPixels));
    QVERIFY(!FrameTest::wholeBlocks(shot, QRect(inside.left(), inside.top() + menuBar + below, Board::FieldWidth * firstPixels,
                                     (Board::FieldHeight - 16) * firstPixels), firstPixels * 2));

    window.key("F11");
    QTRY_COMPARE_WITH_TIMEOUT(window.geometry(), QRect(0, 0, 1920, 1080), 5000);
    QTest::qWait(300);
    shot = window.screen();
    const QSize field = QSize(Board::FieldWidth, Board::FieldHeight) * fullScreenPixels;
    const QPoint origin((1920 - field.width()) / 2, menuBar + (1080 - menuBar - field.height()) / 2);
    QVERIFY(FrameTest::wholeBlocks(shot, QRect(origin + QPoint(0, 16 * fullScreenPixels), field - QSize(0, 16 * fullScreenPixels)),
                        fullScreenPixels));
    // Black on either side of the field, and right up to it.
    QCOMPARE(shot.pixel(origin.x() - 1, origin.y() + field.height() / 2) & 0xffffff, 0u);
    QVERIFY((shot.pixel(origin.x(), origin.y() + field.height() / 2) & 0xffffff) != 0u);
    QVERIFY(window.terminate());
}

QTEST_GUILESS_MAIN(tst_Scales)
#include "tst_scales.moc"
