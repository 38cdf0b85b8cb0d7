// The end of a game as a player hammering the fire key meets it: the game-over
// box, the name dialog and the list, each staying until the keys rest, and the
// score on disk before the name is asked for.

#include "boardaccess.h"
#include "boardfixture.h"
#include "highscoreaccess.h"
#include "keys.h"
#include "modalanswerer.h"

#include "highscore/highscoretable.h"
#include "highscore/keygrace.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

using A = BoardAccess;

class tst_GameEnd : public QObject
{
    Q_OBJECT

private slots:
    void hammeredReturnSkipsNoBox();
    void scoreOnDiskBeforeTheFirstBox();
};

void tst_GameEnd::scoreOnDiskBeforeTheFirstBox()
{
    // Killed while the game-over box is open, the game keeps its place.
    BoardFixture f;
    Board& b = f.board();
    A::lives(b) = 0;
    A::score(b) = 3000;
    A::addSub(b, 240.5f, 100, 50.0f); // gets across at the next tick
    QByteArray onDisk;
    ModalAnswerer answerer;
    answerer
        .then([&onDisk](QDialog* box) {
            QFile file(qEnvironmentVariable("XDG_CONFIG_HOME") + '/' + QCoreApplication::applicationName() + "/Marlovex.conf");
            if (file.open(QIODevice::ReadOnly))
                onDisk = file.readAll();
            box->accept();
        })
        .then(ModalAnswerer::type(QStringLiteral("Kept")))
        .then(ModalAnswerer::accept());
    A::tick(b);
    QCOMPARE(answerer.seen().size(), 3);
    QCOMPARE(answerer.seen()[0].objectName, QStringLiteral("endBox"));
    QVERIFY2(onDisk.contains("S0 = 3000"), onDisk.constData());
    QCOMPARE(b.highScores->entries().first(), HighScoreTable::Entry(QStringLiteral("Kept"), 3000));
}

void tst_GameEnd::hammeredReturnSkipsNoBox()
{
    BoardFixture f;
    Board& b = f.board();
    A::lives(b) = 0;
    A::score(b) = 3000;
    A::addSub(b, 240.5f, 100, 50.0f); // gets across at the next tick

    constexpr int HammerMilliseconds = 1500;
    QStringList boxes;       // each box as it appeared
    QStringList stayed;      // each box that was still open when the hammering stopped
    QByteArray onDiskAsked;  // the list while the name was asked for
    bool busy = false;
    QTimer watch;
    watch.start(20);
    QPointer<QWidget> handled;
    connect(&watch, &QTimer::timeout, this, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (busy || !box || box == handled || !box->isVisible())
            return;
        busy = true;
        handled = box;
        boxes << QString::fromLatin1(box->metaObject()->className());
        QWidget* focus = box->focusWidget() ? box->focusWidget() : box;
        const bool nameDialog = boxes.size() == 2;
        if (nameDialog) {
            QFile file(qEnvironmentVariable("XDG_CONFIG_HOME") + '/' + QCoreApplication::applicationName() + "/Marlovex.conf");
            if (file.open(QIODevice::ReadOnly))
                onDiskAsked = file.readAll();
        }
        // Return every 80 ms from the moment the box appears, a name typed
        // meanwhile, spaces and all.
        QElapsedTimer hammering;
        hammering.start();
        bool typed = false;
        while (hammering.elapsed() < HammerMilliseconds && box->isVisible()) {
            Keys::press(focus, Qt::Key_Return);
            Keys::release(focus, Qt::Key_Return);
            if (nameDialog && !typed)
                QTest::keyClicks(focus, QStringLiteral("Kept At Once"));
            typed = true;
            QTest::qWait(80);
        }
        if (box->isVisible())
            stayed << boxes.back();
        // Rested: one Return closes it.
        QTest::qWait(KeyGrace::RestMilliseconds + 50);
        Keys::press(focus, Qt::Key_Return);
        Keys::release(focus, Qt::Key_Return);
        busy = false;
    });

    A::tick(b);
    QCOMPARE(boxes, (QStringList{"QMessageBox", "inputImpl", "QMessageBox"}));
    QCOMPARE(stayed.join(","), boxes.join(","));
    QCOMPARE(HighScoreAccess::name(*b.highScores, 0), QStringLiteral("Kept At Once"));
    QVERIFY2(onDiskAsked.contains("\nP0 = \n") && onDiskAsked.contains("\nS0 = 3000\n"), onDiskAsked.constData());
}

QTEST_MAIN(tst_GameEnd)
#include "tst_gameend.moc"
