#include "testenvironment.h"
#include "testpaths.h"

#include "board/board.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QImage picture(const QString& name)
{
    return QImage(TestEnvironment::sourcePictures() + '/' + name + ".png");
}

bool hasTransparentPixel(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) == 0)
                return true;
    return false;
}

} // namespace

class tst_Pictures : public QObject
{
    Q_OBJECT

private slots:
    void backgroundsCoverTheFieldAndAreOpaque_data();
    void backgroundsCoverTheFieldAndAreOpaque();
    void waterFramesAllDiffer();
    void spritesFitTheField();
    void subLooksTheSameBothWays();
    void generatorReproducesCommittedPictures();
};

void tst_Pictures::backgroundsCoverTheFieldAndAreOpaque_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("least");
    QTest::newRow("sky") << "sky" << QSize(Board::FieldWidth, Board::WaterY);
    for (int i = 1; i <= 8; ++i)
        QTest::newRow(qPrintable(QStringLiteral("water%1").arg(i))) << QStringLiteral("water%1").arg(i) << QSize(Board::FieldWidth, Board::FieldHeight - Board::WaterY);
}

void tst_Pictures::backgroundsCoverTheFieldAndAreOpaque()
{
    // The frame buffer is never cleared: sky at y 0 and water at y 40 must paint
    // all of it, and without an alpha channel they are copied, not blended.
    QFETCH(QString, name);
    QFETCH(QSize, least);
    const QImage image = picture(name);
    QVERIFY(image.width() >= least.width());
    QVERIFY(image.height() >= least.height());
    QVERIFY(!image.hasAlphaChannel());
}

void tst_Pictures::waterFramesAllDiffer()
{
    for (int i = 1; i <= 8; ++i)
        for (int j = i + 1; j <= 8; ++j)
            QVERIFY2(picture(QStringLiteral("water%1").arg(i)) != picture(QStringLiteral("water%1").arg(j)),
                     qPrintable(QStringLiteral("water%1 equals water%2").arg(i).arg(j)));
}

void tst_Pictures::spritesFitTheField()
{
    const QImage destroyer = picture("destroyer");
    QCOMPARE(destroyer.width() % 2, 1);          // centred on x = 120 from x = 105
    QCOMPARE(10 + destroyer.height(), 40);       // top at y = 10, hull on the waterline
    QVERIFY(249 + picture("sub").height() <= Board::FieldHeight);
    // The icons at y = 3 are drawn after the destroyer: they must end above its top.
    QVERIFY(3 + picture("lives").height() <= 10);
    QVERIFY(3 + picture("bomb").height() <= 10);
    for (const char* sprite : {"destroyer", "sub", "bomb", "lives"})
        QVERIFY2(hasTransparentPixel(picture(sprite)), sprite);
}

void tst_Pictures::subLooksTheSameBothWays()
{
    const QImage sub = picture("sub");
    QCOMPARE(sub.mirrored(true, false), sub);
}

void tst_Pictures::generatorReproducesCommittedPictures()
{
    QTemporaryDir out;
    QProcess generator;
    generator.start(TestPaths::makepics(), {out.path()});
    QVERIFY(generator.waitForFinished(30000));
    QCOMPARE(generator.exitCode(), 0);
    for (const QString& name : TestEnvironment::pictureNames()) {
        const QImage made(out.path() + '/' + name + ".png");
        QVERIFY2(made == picture(name), qPrintable(name + " differs from what tools/makepics paints"));
    }
}

QTEST_MAIN(tst_Pictures)
#include "tst_pictures.moc"
