// The sound effects: built by the generator at one loudness, played through
// SDL's disk driver (a file instead of a loudspeaker), on time and only when
// they should be, and nothing streamed while the game rests.

#include "outputcapture.h"
#include "sound/loudnessmeter.h"
#include "sound/mixer.h"
#include "sound/soundeffects.h"
#include "testpaths.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <atomic>
#include <functional>
#include <thread>

#include <unistd.h>
#include <memory>

namespace {

const QStringList Effects = {"bomb", "hit", "escape", "gameover", "place"};

std::vector<int16_t> samplesOf(const QByteArray& bytes, int skip = 0)
{
    std::vector<int16_t> samples(size_t(std::max<qsizetype>(0, (bytes.size() - skip) / 2)));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = qFromLittleEndian<qint16>(bytes.constData() + skip + 2 * i);
    return samples;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The sound output goes to a file of its own while it lives.
class DiskOutput
{
public:
    DiskOutput()
    {
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(path()));
    }
    ~DiskOutput()
    {
        qunsetenv("SDL_DISKAUDIOFILE");
        qputenv("SDL_AUDIODRIVER", "dummy");
    }
    QString path() const { return scratch.path() + "/out.raw"; }
    qint64 size() const { return QFileInfo(path()).size(); }
    std::vector<int16_t> samples() const { return samplesOf(readFile(path())); }

private:
    QTemporaryDir scratch;
};

// The first sample heard, or -1.
qsizetype firstHeard(const std::vector<int16_t>& samples, qsizetype from = 0)
{
    for (qsizetype i = from; i < qsizetype(samples.size()); ++i)
        if (std::abs(samples[size_t(i)]) >= 16)
            return i;
    return -1;
}

// The last sample heard, or -1.
qsizetype lastHeard(const std::vector<int16_t>& samples)
{
    for (qsizetype i = qsizetype(samples.size()) - 1; i >= 0; --i)
        if (std::abs(samples[size_t(i)]) >= 16)
            return i;
    return -1;
}

} // namespace

class tst_Sounds : public QObject
{
    Q_OBJECT

private slots:
    void generatorReproducesCommittedSounds();
    void effectsAreEvenlyLoudWithoutClicks_data();
    void effectsAreEvenlyLoudWithoutClicks();
    void eventsPlayAtOnceOrNotAtAll_data();
    void eventsPlayAtOnceOrNotAtAll();
    void deeperHitsAreLowerAndLonger();
    void nothingStreamsAtRest_data();
    void nothingStreamsAtRest();
    void noOutputMeansSilenceAndOneLine();
    void outputLivesAsLongAsItsSounds_data();
    void outputLivesAsLongAsItsSounds();
    void othersMessagesGetThroughMeanwhile();
};

void tst_Sounds::generatorReproducesCommittedSounds()
{
    QTemporaryDir scratch;
    QCOMPARE(QProcess::execute(TestPaths::makesounds(), {scratch.path()}), 0);
    for (const QString& name : Effects)
        QVERIFY2(readFile(scratch.path() + '/' + name + ".wav") == readFile(TestPaths::sounds() + QStringLiteral("/") + name + ".wav"),
                 qPrintable(name));
}

void tst_Sounds::effectsAreEvenlyLoudWithoutClicks_data()
{
    QTest::addColumn<QString>("name");
    for (const QString& name : Effects)
        QTest::newRow(qPrintable(name)) << name;
}

void tst_Sounds::effectsAreEvenlyLoudWithoutClicks()
{
    QFETCH(QString, name);
    const std::vector<int16_t> sound = samplesOf(readFile(TestPaths::sounds() + QStringLiteral("/") + name + ".wav"), 44);
    QVERIFY(sound.size() > 4000);
    const LoudnessMeter meter(Mixer::Rate);
    const double loudness = meter.momentaryMax(sound);
    qInfo("%s: %.2f LUFS, true peak %.2f dBFS", qPrintable(name), loudness, LoudnessMeter::truePeak(sound));
    // Within half a unit of -18 LUFS: any two within one.
    QVERIFY2(std::abs(loudness + 18.0) <= 0.5, qPrintable(QString::number(loudness)));
    QVERIFY(LoudnessMeter::truePeak(sound) <= -1.0);
    // From silence and back to it: no click at either end, the last 10 ms a
    // tenth as loud as the loudest 10 ms at most.
    QVERIFY2(std::abs(sound.front()) < 200, qPrintable(QString::number(sound.front())));
    QVERIFY2(std::abs(sound.back()) < 100, qPrintable(QString::number(sound.back())));
    constexpr size_t window = Mixer::Rate / 100;
    auto rms = [&sound](size_t from) {
        double energy = 0;
        for (size_t i = from; i < from + window; ++i)
            energy += double(sound[i]) * sound[i];
        return std::sqrt(energy / double(window));
    };
    double loudest = 0;
    for (size_t from = 0; from + window <= sound.size(); from += window / 2)
        loudest = std::max(loudest, rms(from));
    QVERIFY2(rms(sound.size() - window) < loudest / 10, qPrintable(QString::number(rms(sound.size() - window))));
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
    DiskOutput output;

    auto sounds = std::make_unique<SoundEffects>();
    sounds->setEnabled(enabled);
    sounds->paused(paused);
    // The output's file starts as it opens, in the calls above: counted from
    // here, however long opening took on a busy machine, the sound is never
    // early, only late by the moment between.
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(150); // the output well under way, or closed
    const bool streamedBefore = sounds->isStreaming();
    QCOMPARE(streamedBefore, enabled && !paused);
    const double happened = clock.nsecsElapsed() / 1e9;
    const std::map<QString, std::function<void()>> events = {
        {"bomb", [&] { sounds->bombDropped(); }},
        {"hit", [&] { sounds->subDestroyed(200); }},
        {"escape", [&] { sounds->subEscaped(); }},
        {"gameover", [&] { sounds->gameOver(); }},
        {"place", [&] { sounds->placeEarned(); }},
    };
    events.at(event)();
    QTest::qWait(200);
    sounds.reset(); // while it still plays

    const std::vector<int16_t> samples = output.samples();
    const qsizetype first = firstHeard(samples);
    if (!heard) {
        QCOMPARE(first, -1);
        return;
    }
    QVERIFY(first >= 0);
    // Within 50 ms of the event, and not before it (give or take one of the
    // driver's 23 ms buffers, which it writes ahead). The file starts as the
    // output opens: with the mixer, or with the sound when it was closed.
    const double delay = double(first) / Mixer::Rate - (streamedBefore ? happened : 0.0);
    qInfo("%s: %.1f ms", qPrintable(event), delay * 1000);
    QVERIFY2(delay < 0.05 && delay > -0.025, qPrintable(QStringLiteral("%1 s").arg(delay)));
}

void tst_Sounds::deeperHitsAreLowerAndLonger()
{
    // The same blast played for the shallowest and the deepest submarine.
    struct Heard {
        double seconds;
        double crossingsPerSecond;
    };
    auto hear = [](int depth) {
        DiskOutput output;
        {
            SoundEffects sounds;
            QTest::qWait(100);
            sounds.subDestroyed(depth);
            QTest::qWait(1700);
        }
        const std::vector<int16_t> samples = output.samples();
        const qsizetype first = firstHeard(samples), last = lastHeard(samples);
        int crossings = 0;
        for (qsizetype i = first + 1; i <= last; ++i)
            crossings += (samples[size_t(i - 1)] < 0) != (samples[size_t(i)] < 0);
        const double seconds = double(last - first) / Mixer::Rate;
        return Heard{seconds, crossings / seconds};
    };
    const Heard shallow = hear(60), deep = hear(249);
    qInfo("shallow: %.2f s, %.0f crossings a second; deep: %.2f s, %.0f", shallow.seconds, shallow.crossingsPerSecond,
          deep.seconds, deep.crossingsPerSecond);
    QVERIFY(deep.seconds > shallow.seconds * 1.5);
    QVERIFY(deep.crossingsPerSecond < shallow.crossingsPerSecond * 0.75);
}

void tst_Sounds::nothingStreamsAtRest_data()
{
    QTest::addColumn<QString>("rest");
    QTest::newRow("paused, a bomb still sounding") << "paused";
    QTest::newRow("over, the tune played in full") << "over";
    QTest::newRow("sound off") << "off";
}

void tst_Sounds::nothingStreamsAtRest()
{
    QFETCH(QString, rest);
    DiskOutput output;
    SoundEffects sounds;
    QVERIFY(sounds.isStreaming());
    if (rest == "paused") {
        sounds.bombDropped();
        sounds.paused(true);
    } else if (rest == "over") {
        sounds.paused(true);
        sounds.gameOver();
    } else {
        sounds.setEnabled(false);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!sounds.isStreaming(), 3000);
    const qint64 size = output.size();
    QTest::qWait(600);
    QCOMPARE(output.size(), size); // the file stops growing
    if (rest == "over") {
        // The whole tune was heard first.
        const std::vector<int16_t> samples = output.samples();
        QVERIFY(lastHeard(samples) - firstHeard(samples) > Mixer::Rate * 3 / 2);
    }
    // Going on opens it again.
    if (rest == "off")
        sounds.setEnabled(true);
    else
        sounds.paused(false);
    if (rest == "over")
        sounds.paused(false);
    QVERIFY(sounds.isStreaming());
}

void tst_Sounds::outputLivesAsLongAsItsSounds_data()
{
    QTest::addColumn<bool>("reopen");
    QTest::newRow("a sound still waiting for the output keeps it") << false;
    QTest::newRow("sounds playing when it closed are gone when it opens again") << true;
}

void tst_Sounds::outputLivesAsLongAsItsSounds()
{
    // The output asks for its next frames every so many milliseconds: between
    // two asks a sound only waits.
    QFETCH(bool, reopen);
    DiskOutput disk;
    qputenv("SDL_DISKAUDIODELAY", reopen ? "200" : "3000");
    const std::vector<int16_t> sound(size_t(Mixer::Rate) * 5, 1000);
    Mixer mixer;
    QVERIFY(mixer.open());
    QTest::qWait(300); // the first frames were asked for
    mixer.play(sound);
    if (reopen) {
        QTRY_VERIFY(mixer.millisecondsLeft() > 4000);
        mixer.close();
        QVERIFY(mixer.open());
        QCOMPARE(mixer.millisecondsLeft(), 0);
        QTest::qWait(300);
        QCOMPARE(mixer.millisecondsLeft(), 0);
    } else {
        QVERIFY(mixer.millisecondsLeft() > 0);
        // An empty sound opens nothing.
        mixer.close();
        mixer.play({});
        QVERIFY(!mixer.isOpen());
    }
    mixer.close();
    qunsetenv("SDL_DISKAUDIODELAY");
}

void tst_Sounds::noOutputMeansSilenceAndOneLine()
{
    qputenv("SDL_AUDIODRIVER", "no-such-output");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^No sound: .+"));
    QTest::failOnWarning(QRegularExpression(".*"));
    {
        SoundEffects sounds;
        sounds.bombDropped();
        sounds.paused(true);
        sounds.paused(false);
        sounds.gameOver();
    }
    qputenv("SDL_AUDIODRIVER", "dummy");
}

void tst_Sounds::othersMessagesGetThroughMeanwhile()
{
    // Another thread writes to standard error while the sound output is
    // looked for, opened and closed: every line arrives.
    std::atomic<bool> writing{true};
    std::atomic<int> written{0};
    QByteArray captured;
    {
        OutputCapture capture;
        std::thread other([&] {
            while (writing) {
                if (::write(STDERR_FILENO, "line\n", 5) == 5)
                    ++written;
            }
        });
        for (int i = 0; i < 5; ++i) {
            SoundEffects sounds;
            sounds.paused(true);
            QTRY_VERIFY(!sounds.isStreaming());
        }
        writing = false;
        other.join();
        captured = capture.standardError();
    }
    QVERIFY(written > 100);
    QCOMPARE(int(captured.count("line\n")), int(written));
}

QTEST_GUILESS_MAIN(tst_Sounds)
#include "tst_sounds.moc"
