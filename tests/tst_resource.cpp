#include "outputcapture.h"
#include "platform/resource.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_Resource : public QObject
{
    Q_OBJECT

private slots:
    void init() { qunsetenv("QPEDIR"); }
    void cleanup() { qunsetenv("QPEDIR"); }
    void findsBuiltInPicture_data();
    void findsBuiltInPicture();
    void installedPictureTakesPrecedence();
    void missingPictureIsNullAndSilent_data();
    void missingPictureIsNullAndSilent();
};

void tst_Resource::findsBuiltInPicture_data()
{
    QTest::addColumn<QString>("name");
    for (const QString& name : TestEnvironment::pictureNames())
        QTest::newRow(qPrintable(name)) << name;
}

void tst_Resource::findsBuiltInPicture()
{
    QFETCH(QString, name);
    const QImage committed(TestEnvironment::sourcePictures() + '/' + name + ".png");
    const QPixmap pixmap = Resource::loadPixmap("marlovex/" + name);
    QVERIFY(!pixmap.isNull());
    QCOMPARE(pixmap.toImage().convertToFormat(QImage::Format_ARGB32), committed.convertToFormat(QImage::Format_ARGB32));
}

void tst_Resource::installedPictureTakesPrecedence()
{
    QTemporaryDir qpeDir;
    QVERIFY(QDir().mkpath(qpeDir.path() + "/pics/marlovex"));
    QImage installed(7, 3, QImage::Format_RGB32);
    installed.fill(Qt::green);
    QVERIFY(installed.save(qpeDir.path() + "/pics/marlovex/sky.png"));
    qputenv("QPEDIR", QFile::encodeName(qpeDir.path()));

    QCOMPARE(Resource::loadPixmap("marlovex/sky").size(), QSize(7, 3));
    // A picture the installed tree lacks still comes from the program itself.
    QCOMPARE(Resource::loadPixmap("marlovex/sub").size(), QImage(TestEnvironment::sourcePictures() + "/sub.png").size());
}

void tst_Resource::missingPictureIsNullAndSilent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("withQpeDir");
    QTest::newRow("unknown name") << "marlovex/kraken" << false;
    QTest::newRow("unknown name, installed tree") << "marlovex/kraken" << true;
    QTest::newRow("no folder") << "sky" << false;
    QTest::newRow("extension given") << "marlovex/sky.png" << false;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("garbage file in installed tree") << "marlovex/garbage" << true;
}

void tst_Resource::missingPictureIsNullAndSilent()
{
    QFETCH(QString, name);
    QFETCH(bool, withQpeDir);
    QTemporaryDir qpeDir;
    if (withQpeDir) {
        QVERIFY(QDir().mkpath(qpeDir.path() + "/pics/marlovex"));
        QFile garbage(qpeDir.path() + "/pics/marlovex/garbage.png");
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write("this is not a picture");
        garbage.close();
        qputenv("QPEDIR", QFile::encodeName(qpeDir.path()));
    }
    OutputCapture output;
    const QPixmap pixmap = Resource::loadPixmap(name);
    QCOMPARE(output.text(), QByteArray());
    QVERIFY(pixmap.isNull());
}

QTEST_MAIN(tst_Resource)
#include "tst_resource.moc"
