#include "autopilot.h"
#include "boardaccess.h"
#include "boardfixture.h"
#include "frametest.h"
#include "instantanswers.h"
#include "keys.h"

#include "platform/handheldfont.h"

#include <QPainter>
#include <QScreen>
#include <QTest>

using A = BoardAccess;

namespace {

QImage frameOf(Board& b)
{
    A::compose(b);
    return A::frame(b).convertToFormat(QImage::Format_RGB32);
}

// The frame's pixels in rect are the sky's: nothing is drawn there.
bool onlySky(Board& b, const QImage& frame, const QRect& rect)
{
    return frame.copy(rect) == A::skyPix(b).toImage().convertToFormat(QImage::Format_RGB32).copy(rect);
}

} // namespace

class tst_Render : public QObject
{
    Q_OBJECT

private slots:
    void lifeIconsCentred_data();
    void lifeIconsCentred();
    void bombsToHandFromTheRight_data();
    void bombsToHandFromTheRight();
    void negativeScoreDrawnAndStoredAsZero();
    void scoreLooksAsIfDrawnDirectly_data();
    void scoreLooksAsIfDrawnDirectly();
    void waterFrameFromPhase_data();
    void waterFrameFromPhase();
    void missingLayerShowsNothingStale_data();
    void missingLayerShowsNothingStale();
    void bombsDrawnOverSubmarines();
    void signHasRoomAndHidesNoCharge_data();
    void signHasRoomAndHidesNoCharge();
    void positionsTruncateTowardZero_data();
    void positionsTruncateTowardZero();
    void destroyerOnTheWaterline();
    void eachTickShowsItsFrameAtOnce();
    void toolkitRepaintDrawsTheSameFrame();
    void shownFrameIsAlwaysTheWholeFrame();
    void repaintShowsAllItBroughtUpToDate();
    void newWordsOfTheSameSizeAreShown_data();
    void newWordsOfTheSameSizeAreShown();
    void shorterScoreClearsTheOldText();
};

void tst_Render::lifeIconsCentred_data()
{
    QTest::addColumn<int>("lives");
    QTest::addColumn<QList<int>>("xs");
    QTest::newRow("3") << 3 << QList<int>{92, 111, 130};
    QTest::newRow("2") << 2 << QList<int>{101, 120};
    QTest::newRow("1") << 1 << QList<int>{111};
    QTest::newRow("0, last life in play") << 0 << QList<int>{};
    QTest::newRow("-1, game over") << -1 << QList<int>{};
}

void tst_Render::lifeIconsCentred()
{
    QFETCH(int, lives);
    QFETCH(QList<int>, xs);
    BoardFixture f;
    Board& b = f.board();
    QCOMPARE(A::livesPix(b).width(), 16);
    A::lives(b) = lives;
    const QImage frame = frameOf(b);
    for (int x : xs)
        QVERIFY2(FrameTest::spriteAt(frame, A::livesPix(b).toImage(), QPoint(x, 3)), qPrintable(QString::number(x)));
    const QRect row(80, 0, 80, 10); // above the destroyer's mast
    QCOMPARE(onlySky(b, frame, row), xs.isEmpty());
}

void tst_Render::bombsToHandFromTheRight_data()
{
    QTest::addColumn<int>("falling");
    QTest::addColumn<QList<int>>("xs");
    // A 5-wide bomb with a 3-pixel gap: 240 - (i + 1) * 8.
    QTest::newRow("none falling") << 0 << QList<int>{232, 224, 216};
    QTest::newRow("one falling") << 1 << QList<int>{232, 224};
    QTest::newRow("two falling") << 2 << QList<int>{232};
    QTest::newRow("three falling") << 3 << QList<int>{};
}

void tst_Render::bombsToHandFromTheRight()
{
    QFETCH(int, falling);
    QFETCH(QList<int>, xs);
    BoardFixture f;
    Board& b = f.board();
    for (int i = 0; i < falling; ++i)
        A::addBomb(b, 20 + 10 * i, 150);
    const QImage frame = frameOf(b);
    for (int x : xs)
        QVERIFY2(FrameTest::spriteAt(frame, A::bombPix(b).toImage(), QPoint(x, 3)), qPrintable(QString::number(x)));
    const int leftmost = Board::FieldWidth - (int(xs.size()) + 1) * 8;
    QVERIFY(onlySky(b, frame, QRect(200, 0, leftmost + 8 - 200, 14)));
    for (int i = 0; i < falling; ++i)
        QVERIFY(FrameTest::spriteAt(frame, A::bombPix(b).toImage(), QPoint(20 + 10 * i, 150)));
}

void tst_Render::negativeScoreDrawnAndStoredAsZero()
{
    BoardFixture f;
    Board& b = f.board();
    const QRect text(0, 0, 80, 16);
    A::score(b) = 0;
    const QImage zero = frameOf(b).copy(text);
    A::score(b) = 10;
    const QImage ten = frameOf(b).copy(text);
    QVERIFY(zero != ten);

    A::score(b) = -30;
    QCOMPARE(frameOf(b).copy(text), zero);
    QCOMPARE(A::score(b), 0);
}

void tst_Render::scoreLooksAsIfDrawnDirectly_data()
{
    QTest::addColumn<QList<int>>("scores"); // drawn in turn; the last one is checked
    QTest::addColumn<int>("lastPointSize"); // the font of the last frame; 0: unchanged
    QTest::newRow("0") << QList<int>{0} << 0;
    QTest::newRow("changed") << QList<int>{0, 1234} << 0;
    QTest::newRow("changed back") << QList<int>{7, 1234, 7} << 0;
    QTest::newRow("largest") << QList<int>{2147483647} << 0;
    QTest::newRow("same score, another font") << QList<int>{1234, 1234} << 14;
}

void tst_Render::scoreLooksAsIfDrawnDirectly()
{
    QFETCH(QList<int>, scores);
    QFETCH(int, lastPointSize);
    BoardFixture f;
    Board& b = f.board();
    const QFont saved = QApplication::font();
    QImage frame;
    for (int i = 0; i < scores.size(); ++i) {
        if (lastPointSize && i == scores.size() - 1)
            QApplication::setFont(QFont(saved.family(), lastPointSize));
        A::score(b) = scores[i];
        frame = frameOf(b);
    }
    QImage expected = A::skyPix(b).toImage().convertToFormat(QImage::Format_RGB32);
    QPainter painter(&expected);
    // The handheld's default font, whose points were pixels.
    painter.setFont(HandheldFont::of(QApplication::font()));
    painter.drawText(3, 12, QStringLiteral("Score: %1").arg(scores.last()));
    painter.end();
    QApplication::setFont(saved);
    const QRect line(0, 0, 90, 14); // left of the life icons
    int worst = 0, differing = 0;
    for (int y = line.top(); y <= line.bottom(); ++y)
        for (int x = line.left(); x <= line.right(); ++x) {
            const QRgb a = frame.pixel(x, y), e = expected.pixel(x, y);
            const int d = std::max({std::abs(qRed(a) - qRed(e)), std::abs(qGreen(a) - qGreen(e)), std::abs(qBlue(a) - qBlue(e))});
            worst = std::max(worst, d);
            differing += d > 0;
        }
    // Composed from its own picture, the line may round one level differently.
    QVERIFY2(worst <= 1 && differing < 8, qPrintable(QStringLiteral("%1 pixels, up to %2 levels").arg(differing).arg(worst)));
    QVERIFY(!onlySky(b, frame, line));
}

void tst_Render::waterFrameFromPhase_data()
{
    QTest::addColumn<float>("phase");
    QTest::addColumn<int>("frame");
    QTest::newRow("0") << 0.0f << 0;
    QTest::newRow("3.5") << 3.5f << 3;
    QTest::newRow("7.95 shows water8") << 7.95f << 7;
}

void tst_Render::waterFrameFromPhase()
{
    QFETCH(float, phase);
    QFETCH(int, frame);
    BoardFixture f;
    Board& b = f.board();
    A::waterPhase(b) = phase;
    const QImage water = A::waterPix(b, frame).toImage().convertToFormat(QImage::Format_RGB32);
    const QRect sea(0, Board::WaterY, Board::FieldWidth, Board::FieldHeight - Board::WaterY);
    QCOMPARE(frameOf(b).copy(sea), water.copy(sea.translated(0, -Board::WaterY)));
}

void tst_Render::missingLayerShowsNothingStale_data()
{
    QTest::addColumn<QString>("layer");
    QTest::addColumn<QSize>("size"); // empty: no picture at all
    QTest::addColumn<bool>("holes");
    QTest::newRow("no sky") << "sky" << QSize() << false;
    QTest::newRow("no water") << "water" << QSize() << false;
    QTest::newRow("short water") << "water" << QSize(240, 100) << false;
    QTest::newRow("narrow sky") << "sky" << QSize(200, 40) << false;
    QTest::newRow("sky with holes") << "sky" << QSize(240, 40) << true;
}

void tst_Render::missingLayerShowsNothingStale()
{
    QFETCH(QString, layer);
    QFETCH(QSize, size);
    QFETCH(bool, holes);
    BoardFixture f;
    Board& b = f.board();
    QPixmap picture;
    if (size.isValid()) {
        picture = QPixmap(size);
        picture.fill(holes ? QColor(0, 0, 255, 0) : QColor(Qt::blue));
    }
    (layer == "sky" ? A::skyPix(b) : A::waterPix(b, 0)) = picture;
    const QRgb stale = qRgb(255, 0, 255);
    A::buffer(b).fill(QColor(stale));
    const QImage frame = frameOf(b);
    for (int y = 0; y < Board::FieldHeight; ++y)
        for (int x = 0; x < Board::FieldWidth; ++x)
            if (frame.pixel(x, y) == stale)
                QFAIL(qPrintable(QStringLiteral("an earlier frame shows at %1, %2").arg(x).arg(y)));
}

void tst_Render::bombsDrawnOverSubmarines()
{
    BoardFixture f;
    Board& b = f.board();
    A::addSub(b, 100, 150, 0.0f);
    A::addBomb(b, 110, 152, 0.0f);
    QVERIFY(FrameTest::spriteAt(frameOf(b), A::bombPix(b).toImage(), QPoint(110, 152)));
}

void tst_Render::signHasRoomAndHidesNoCharge_data()
{
    QTest::addColumn<QPoint>("bomb"); // where a charge sinks through the sign
    QTest::newRow("just dropped") << QPoint(118, 40);
    QTest::newRow("in its middle") << QPoint(120, 55);
    QTest::newRow("at its left edge") << QPoint(60, 60);
}

void tst_Render::signHasRoomAndHidesNoCharge()
{
    QFETCH(QPoint, bomb);
    BoardFixture f;
    Board& b = f.board();
    const QStringList sign{QStringLiteral("Replay: the last game · 3541"), QStringLiteral("1x · 1, 2, 4: speed · Esc: stop")};
    b.setSign(sign);
    A::addBomb(b, float(bomb.x()), float(bomb.y()), 0.0f);
    const QImage frame = frameOf(b);
    const QRect area = A::noticeArea(b);
    QVERIFY(area.intersects(QRect(bomb, A::bombPix(b).size())));
    QVERIFY2(FrameTest::spriteAt(frame, A::bombPix(b).toImage(), bomb), "the sign hides a charge");
    // Six pixels around its text, below the surface.
    QFont font = HandheldFont::of(QFont());
    const QFontMetrics metrics(font);
    QCOMPARE(area.height(), 2 * metrics.height() + 12);
    QVERIFY(area.width() >= metrics.horizontalAdvance(sign[1]) + 12);
    QCOMPARE(area.top(), Board::WaterY + 2); // two pixels of sea between the surface and the sign
}

void tst_Render::positionsTruncateTowardZero_data()
{
    QTest::addColumn<float>("x");
    QTest::addColumn<int>("drawnAt");
    QTest::newRow("-0.6") << -0.6f << 0;
    QTest::newRow("-1.2") << -1.2f << -1;
    QTest::newRow("12.9") << 12.9f << 12;
}

void tst_Render::positionsTruncateTowardZero()
{
    QFETCH(float, x);
    QFETCH(int, drawnAt);
    BoardFixture f;
    Board& b = f.board();
    A::addSub(b, x, 150.7f, 20.0f);
    A::addBomb(b, x + 100, 200.9f);
    A::destroyerX(b) = x + 50;
    const QImage frame = frameOf(b);
    QVERIFY(FrameTest::spriteAt(frame, A::subPix(b).toImage(), QPoint(drawnAt, 150)));
    QVERIFY(FrameTest::spriteAt(frame, A::bombPix(b).toImage(), QPoint(int(x + 100), 200)));
    QVERIFY(FrameTest::spriteAt(frame, A::destroyerPix(b).toImage(), QPoint(int(x + 50), 10)));
}

void tst_Render::destroyerOnTheWaterline()
{
    BoardFixture f;
    Board& b = f.board();
    const QImage frame = frameOf(b);
    const QImage destroyer = A::destroyerPix(b).toImage();
    // Its lowest row is hull, drawn on the sky's last row; the water starts below.
    QCOMPARE(frame.pixel(120, 39) & 0xffffff, destroyer.pixel(15, 29) & 0xffffff);
    QCOMPARE(frame.pixel(120, 40), A::waterPix(b, 0).toImage().pixel(120, 0));
}

void tst_Render::eachTickShowsItsFrameAtOnce()
{
    BoardFixture f;
    Board& b = f.board();
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    A::addSub(b, 100, 100, 50.0f);
    A::tick(b);
    // On the screen before the event loop runs again: drawn in the tick, not queued.
    const QImage onScreen = b.screen()->grabWindow(b.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(FrameTest::spriteAt(onScreen, A::subPix(b).toImage(), QPoint(101, 100)));
}

void tst_Render::toolkitRepaintDrawsTheSameFrame()
{
    BoardFixture f;
    Board& b = f.board(); // paused
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    A::addSub(b, 60, 90, 20.0f);
    A::score(b) = -20;
    b.repaint();
    const QImage first = A::frame(b);
    QCOMPARE(A::score(b), 0);
    b.update();
    QCoreApplication::processEvents();
    QCOMPARE(A::frame(b), first);
    QCOMPARE(A::sub(b, 0)->x, 60.0f); // drawing moves nothing
}

void tst_Render::shownFrameIsAlwaysTheWholeFrame()
{
    // Each tick draws and shows only what changed; after every one of them the
    // screen must hold what drawing everything would.
    BoardFixture f;
    Board& b = f.board();
    InstantAnswers answers;
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    Sea::seedGenerator(7);
    int hits = 0, escapes = 0;
    for (int tick = 1; tick <= 1000; ++tick) {
        if (tick == 400)
            b.resize(2 * Board::FieldWidth, 2 * Board::FieldHeight);
        if (tick == 700 || A::gameOver(b)) {
            b.newGame(2);
            b.pauseGame();
        }
        if (tick % 19 == 0)
            A::launch(b);
        Autopilot::play(b);
        const int subs = A::subCount(b), lives = A::lives(b);
        A::tick(b);
        escapes += std::max(0, lives - A::lives(b));
        hits += std::max(0, subs - A::subCount(b) - std::max(0, lives - A::lives(b)));

        const QImage shown = b.screen()->grabWindow(b.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage whole = A::wholeFrame(b).convertToFormat(QImage::Format_RGB32);
        if (shown != whole)
            QFAIL(qPrintable(QStringLiteral("tick %1 shows another frame than the whole one").arg(tick)));
    }
    QVERIFY2(hits > 5 && escapes > 3, qPrintable(QStringLiteral("%1 hits, %2 escapes").arg(hits).arg(escapes)));
}

void tst_Render::newWordsOfTheSameSizeAreShown_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("a replay's speed") << QStringList{"Replay", "1x · 1, 2, 4: speed · Esc: stop"}
                                      << QStringList{"Replay", "2x · 1, 2, 4: speed · Esc: stop"};
    QTest::newRow("one letter") << QStringList{"Replay", "A"} << QStringList{"Replay", "B"};
}

void tst_Render::newWordsOfTheSameSizeAreShown()
{
    // The sign takes the same room with its new words: they are drawn all the same.
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    BoardFixture f;
    Board& b = f.board();
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    b.setSign(before);
    A::tick(b);
    const QRect area = A::noticeArea(b);
    b.setSign(after);
    QCOMPARE(A::noticeArea(b), area);
    const QImage shown = b.screen()->grabWindow(b.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, A::wholeFrame(b).convertToFormat(QImage::Format_RGB32));
}

void tst_Render::repaintShowsAllItBroughtUpToDate()
{
    BoardFixture f;
    Board& b = f.board(); // paused: no tick shows the bomb
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    A::tick(b);
    Keys::press(&b, Qt::Key_Return);
    // A menu closing over a corner of the field repaints that corner only.
    b.repaint(QRect(0, 200, 30, 30));
    auto shown = [&b] { return b.screen()->grabWindow(b.winId()).toImage().convertToFormat(QImage::Format_RGB32); };
    QTRY_COMPARE(shown(), A::wholeFrame(b).convertToFormat(QImage::Format_RGB32));
}

void tst_Render::shorterScoreClearsTheOldText()
{
    BoardFixture f;
    Board& b = f.board();
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    A::score(b) = 100;
    A::tick(b);
    A::score(b) = 90;
    A::tick(b);
    const QImage shown = b.screen()->grabWindow(b.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, A::wholeFrame(b).convertToFormat(QImage::Format_RGB32));
}

QTEST_MAIN(tst_Render)
#include "tst_render.moc"
