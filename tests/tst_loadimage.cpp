#include "board/board.h"
#include "boardaccess.h"
#include "outputcapture.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList lookups;

void recordLookups(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    if (qstrcmp(context.category, "marlovex.resource") == 0)
        lookups << message;
}

QStringList desktopFailureLines()
{
    QStringList lines;
    for (const QString& name : TestEnvironment::pictureNames())
        lines << QStringLiteral("Couldn't load ipk/opt/QtPalmtop/pics/marlovex/%1.png").arg(name);
    return lines;
}

// The first picture the board holds that is not the committed one, but for
// the one named skip; an empty string when there is none.
QString notCommitted(Board& board, const QString& skip = QString())
{
    QList<QPixmap> loaded;
    for (int i = 0; i < Board::WaterFrames; ++i)
        loaded << BoardAccess::waterPix(board, i);
    loaded << BoardAccess::skyPix(board) << BoardAccess::destroyerPix(board) << BoardAccess::livesPix(board)
           << BoardAccess::subPix(board) << BoardAccess::bombPix(board);
    for (int i = 0; i < loaded.size(); ++i) {
        const QString name = TestEnvironment::pictureNames()[i];
        const QImage committed(TestEnvironment::sourcePictures() + '/' + name + ".png");
        if (name != skip && loaded[i].toImage().convertToFormat(QImage::Format_ARGB32) != committed.convertToFormat(QImage::Format_ARGB32))
            return name;
    }
    return QString();
}

} // namespace

class tst_LoadImage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void handheldAsksResourcesInLoadingOrder();
    void desktopLoadsEachPictureIntoItsField_data();
    void desktopLoadsEachPictureIntoItsField();
    void desktopReportsMissingPicturesThenUsesItsOwn_data();
    void desktopReportsMissingPicturesThenUsesItsOwn();
    void handheldIsSilentWhenPicturesAreMissing();

private:
    QTemporaryDir scratch;
    QString savedDir;
};

void tst_LoadImage::init()
{
    QVERIFY(scratch.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.path() + "/config"));
    qunsetenv("XAUTHORITY");
    qunsetenv("QPEDIR");
    savedDir = QDir::currentPath();
}

void tst_LoadImage::cleanup()
{
    QDir::setCurrent(savedDir);
    qunsetenv("XAUTHORITY");
    qunsetenv("QPEDIR");
}

void tst_LoadImage::handheldAsksResourcesInLoadingOrder()
{
    lookups.clear();
    QLoggingCategory::setFilterRules(QStringLiteral("marlovex.resource.debug=true"));
    const QtMessageHandler previous = qInstallMessageHandler(recordLookups);
    Board board;
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());

    QStringList expected;
    for (const QString& name : TestEnvironment::pictureNames())
        expected << "marlovex/" + name;
    QCOMPARE(lookups, expected);
    QCOMPARE(BoardAccess::destroyerPix(board).size(), QImage(TestEnvironment::sourcePictures() + "/destroyer.png").size());
}

void tst_LoadImage::desktopLoadsEachPictureIntoItsField_data()
{
    QTest::addColumn<QByteArray>("xauthority");
    QTest::newRow("X11 session") << QByteArray("/root/.Xauthority");
    QTest::newRow("set but empty") << QByteArray("");
}

void tst_LoadImage::desktopLoadsEachPictureIntoItsField()
{
    QFETCH(QByteArray, xauthority);
    QTemporaryDir workdir;
    QVERIFY(TestEnvironment::installDesktopPictures(workdir.path()));
    // A picture that exists only in the package tree proves which path was taken.
    QImage marker(7, 3, QImage::Format_ARGB32);
    marker.fill(Qt::red);
    QVERIFY(QFile::remove(workdir.path() + "/ipk/opt/QtPalmtop/pics/marlovex/lives.png"));
    QVERIFY(marker.save(workdir.path() + "/ipk/opt/QtPalmtop/pics/marlovex/lives.png"));
    QDir::setCurrent(workdir.path());
    qputenv("XAUTHORITY", xauthority);

    OutputCapture output;
    Board board;
    QCOMPARE(output.text(), QByteArray());

    QCOMPARE(notCommitted(board, QStringLiteral("lives")), QString());
    QCOMPARE(BoardAccess::livesPix(board).size(), QSize(7, 3));
}

void tst_LoadImage::desktopReportsMissingPicturesThenUsesItsOwn_data()
{
    desktopLoadsEachPictureIntoItsField_data();
}

void tst_LoadImage::desktopReportsMissingPicturesThenUsesItsOwn()
{
    QFETCH(QByteArray, xauthority);
    QTemporaryDir workdir;
    QDir::setCurrent(workdir.path());
    qputenv("XAUTHORITY", xauthority);

    OutputCapture output;
    Board board;
    const QByteArray out = output.standardOutput();
    QCOMPARE(output.standardError(), QByteArray());

    QCOMPARE(QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts), desktopFailureLines());
    QVERIFY(out.endsWith('\n'));
    // Started from any folder, the game still shows every picture.
    QCOMPARE(notCommitted(board), QString());
}

void tst_LoadImage::handheldIsSilentWhenPicturesAreMissing()
{
    // Without XAUTHORITY the package tree is never consulted, whatever the directory.
    QTemporaryDir workdir;
    QDir::setCurrent(workdir.path());
    OutputCapture output;
    Board board;
    const QPixmap missing = Board::loadImage("no-such-picture");
    QCOMPARE(output.text(), QByteArray());
    QVERIFY(!BoardAccess::skyPix(board).isNull());
    QVERIFY(missing.isNull());
}

QTEST_MAIN(tst_LoadImage)
#include "tst_loadimage.moc"
