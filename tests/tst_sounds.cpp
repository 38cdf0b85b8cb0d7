// The sound effects: built by the generator, played through SDL's disk driver
// (a file instead of a loudspeaker), on time and only when they should be.

#include "sound/soundeffects.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QStringList Effects = {"bomb", "hit", "escape", "gameover", "place"};

} // namespace

class tst_Sounds : public QObject
{
    Q_OBJECT

private slots:
    void generatorReproducesCommittedSounds();
    void eventsPlayAtOnceOrNotAtAll_data();
    void eventsPlayAtOnceOrNotAtAll();
    void noOutputMeansSilenceAndOneLine();
};

void tst_Sounds::generatorReproducesCommittedSounds()
{
    QTemporaryDir scratch;
    QCOMPARE(QProcess::execute(QStringLiteral(MARLOVEX_MAKESOUNDS), {scratch.path()}), 0);
    for (const QString& name : Effects) {
        QFile made(scratch.path() + '/' + name + ".wav");
        QFile committed(QStringLiteral(MARLOVEX_SOURCE_SOUNDS "/") + name + ".wav");
        QVERIFY(made.open(QIODevice::ReadOnly) && committed.open(QIODevice::ReadOnly));
        QVERIFY2(made.readAll() == committed.readAll(), qPrintable(name));
    }
}

void tst_Sounds::eventsPlayAtOnceOrNotAtAll_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<bool>("heard");
    QTest::newRow("bomb dropped") << "bomb" << true << false << true;
    QTest::newRow("submarine destroyed") << "hit" << true << false << true;
    QTest::newRow("submarine across") << "escape" << true << false << true;
    QTest::newRow("bomb dropped, sound off") << "bomb" << false << false << false;
    QTest::newRow("bomb dropped while paused") << "bomb" << true << true << false;
    QTest::newRow("game over, the game stopped for it") << "gameover" << true << true << true;
    QTest::newRow("a place, sound off") << "place" << false << true << false;
}

void tst_Sounds::eventsPlayAtOnceOrNotAtAll()
{
    QFETCH(QString, event);
    QFETCH(bool, enabled);
    QFETCH(bool, paused);
    QFETCH(bool, heard);
    QTemporaryDir scratch;
    const QString output = scratch.path() + "/out.raw";
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(output));

    QElapsedTimer clock;
    clock.start();
    auto sounds = std::make_unique<SoundEffects>();
    sounds->setEnabled(enabled);
    sounds->paused(paused);
    QTest::qWait(150); // the output well under way
    const std::map<QString, std::function<void()>> events = {
        {"bomb", [&] { sounds->bombDropped(); }},
        {"hit", [&] { sounds->subDestroyed(200); }},
        {"escape", [&] { sounds->subEscaped(); }},
        {"gameover", [&] { sounds->gameOver(); }},
        {"place", [&] { sounds->placeEarned(); }},
    };
    const double happened = clock.nsecsElapsed() / 1e9;
    events.at(event)();
    QTest::qWait(200);
    sounds.reset();
    qunsetenv("SDL_DISKAUDIOFILE");
    qputenv("SDL_AUDIODRIVER", "dummy");

    QFile file(output);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto* samples = reinterpret_cast<const qint16*>(bytes.constData());
    const qsizetype count = bytes.size() / 2;
    QVERIFY(count > Mixer::Rate / 4); // the output ran all along
    qsizetype first = 0;
    while (first < count && std::abs(samples[first]) < 16)
        ++first;
    if (!heard) {
        QCOMPARE(first, count);
        return;
    }
    // Within 50 ms of the event, and not before it (give or take one of the
    // driver's 23 ms buffers, which it writes ahead).
    const double delay = double(first) / Mixer::Rate - happened;
    qInfo("%s: %.1f ms", qPrintable(event), delay * 1000);
    QVERIFY2(first < count && delay < 0.05 && delay > -0.025, qPrintable(QStringLiteral("%1 s").arg(delay)));
}

void tst_Sounds::noOutputMeansSilenceAndOneLine()
{
    qputenv("SDL_AUDIODRIVER", "no-such-output");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^No sound: .+"));
    QTest::failOnWarning(QRegularExpression(".*"));
    SoundEffects sounds;
    sounds.bombDropped();
    sounds.gameOver();
    qputenv("SDL_AUDIODRIVER", "dummy");
}

QTEST_GUILESS_MAIN(tst_Sounds)
#include "tst_sounds.moc"
