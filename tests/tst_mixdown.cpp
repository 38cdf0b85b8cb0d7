// The mixer's own work, rendered offline: voices summed, a voice taken for a
// new sound fading out, the volume, and the limiter that keeps any overlap
// below full scale without touching a single sound.

#include "sound/mixdown.h"
#include "sound/soundeffects.h"

#include <QTest>

#include <cstdint>
#include <vector>

namespace {

std::vector<int16_t> level(int value, int frames)
{
    return std::vector<int16_t>(size_t(frames), int16_t(value));
}

std::vector<int16_t> render(MixDown& mix, int frames)
{
    std::vector<int16_t> out(static_cast<size_t>(frames), 0);
    mix.render(out.data(), frames);
    return out;
}

int peak(const std::vector<int16_t>& samples)
{
    int most = 0;
    for (int16_t s : samples)
        most = std::max(most, std::abs(int(s)));
    return most;
}

constexpr int Delay = MixDown::LookAhead - 1; // the limiter's look ahead

} // namespace

class tst_MixDown : public QObject
{
    Q_OBJECT

private slots:
    void singleSoundPassesUntouched_data();
    void singleSoundPassesUntouched();
    void overlapsStayBelowFullScale_data();
    void overlapsStayBelowFullScale();
    void secondSoundJoinsTheFirst();
    void voiceNearestItsEndIsTakenAndFades();
    void manySoundsAtOnceKeepTheLatest();
    void volumeScalesWhatIsHeard();
    void gainComesBackSlowlyAfterAPeak();
    void fullQueueDropsTheNewestSound();
    void theLimitersDelayIsStillToBeHeard();
    void aSoundEndsAtItsLastSample();
};

void tst_MixDown::singleSoundPassesUntouched_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"bomb", "hit", "escape", "gameover", "place"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void tst_MixDown::singleSoundPassesUntouched()
{
    // Each effect peaks below the limiter's ceiling: nothing pumps.
    QFETCH(QString, name);
    const std::vector<int16_t> sound = SoundEffects::load(qPrintable(name));
    QVERIFY(!sound.empty());
    MixDown mix;
    mix.play(sound.data(), uint32_t(sound.size()));
    const std::vector<int16_t> out = render(mix, int(sound.size()) + Delay);
    for (size_t i = 0; i < sound.size(); ++i)
        if (out[i + Delay] != sound[i])
            QFAIL(qPrintable(QStringLiteral("frame %1: %2 for %3").arg(i).arg(out[i + Delay]).arg(sound[i])));
}

void tst_MixDown::overlapsStayBelowFullScale_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("spread"); // a little apart in pitch, as hits at nearly the same depth
    QTest::newRow("three hits at nearly the same depth") << "hit" << 3 << true;
    QTest::newRow("every voice a bomb") << "bomb" << MixDown::Voices << false;
    QTest::newRow("every voice a hit") << "hit" << MixDown::Voices << true;
    QTest::newRow("twenty tunes") << "gameover" << 20 << false;
}

void tst_MixDown::overlapsStayBelowFullScale()
{
    QFETCH(QString, name);
    QFETCH(int, count);
    QFETCH(bool, spread);
    const std::vector<int16_t> sound = SoundEffects::load(qPrintable(name));
    MixDown mix;
    for (int i = 0; i < count; ++i)
        mix.play(sound.data(), uint32_t(sound.size()), spread ? 1.0f + 0.01f * float(i) : 1.0f);
    std::vector<int16_t> out;
    for (int block = 0; block < 100; ++block) {
        const std::vector<int16_t> part = render(mix, 512);
        out.insert(out.end(), part.begin(), part.end());
    }
    QVERIFY(peak(out) > 20000); // loud, and
    QVERIFY2(peak(out) <= int(MixDown::Ceiling * 32767.0f) + 1, qPrintable(QString::number(peak(out))));
    // no crackle: never a jump larger than the sum of the voices could make
    int jump = 0;
    for (size_t i = 1; i < out.size(); ++i)
        jump = std::max(jump, std::abs(int(out[i]) - int(out[i - 1])));
    QVERIFY2(jump < 30000, qPrintable(QString::number(jump)));
}

void tst_MixDown::secondSoundJoinsTheFirst()
{
    const auto first = level(1000, 5000), second = level(300, 1000);
    MixDown mix;
    mix.play(first.data(), uint32_t(first.size()));
    QCOMPARE(render(mix, 1000).back(), int16_t(1000));
    mix.play(second.data(), uint32_t(second.size()));
    const auto both = render(mix, 1000);
    QCOMPARE(both.back(), int16_t(1300)); // the first goes on under the second
    const auto after = render(mix, 1000);
    QCOMPARE(after.back(), int16_t(1000));
}

void tst_MixDown::voiceNearestItsEndIsTakenAndFades()
{
    // Twelve voices, each a level of its own (a bit of the sum) and a length
    // of its own: the sum tells which are playing.
    std::vector<std::vector<int16_t>> sounds;
    for (int v = 0; v < MixDown::Voices; ++v)
        sounds.push_back(level(1 << v, 20000 - 1000 * ((v * 5) % MixDown::Voices)));
    MixDown mix;
    int all = 0;
    for (const auto& s : sounds) {
        mix.play(s.data(), uint32_t(s.size()));
        all += s.front();
    }
    QCOMPARE(render(mix, 500).back(), int16_t(all));
    // The shortest: 20000 - 11000 frames.
    int shortest = 0;
    for (int v = 0; v < MixDown::Voices; ++v)
        if (sounds[size_t(v)].size() < sounds[size_t(shortest)].size())
            shortest = v;
    // A silent newcomer, so that only the taken voice changes the sum.
    const auto newcomer = level(0, 20000);
    mix.play(newcomer.data(), uint32_t(newcomer.size()));
    const auto out = render(mix, 2000);
    const int taken = 1 << shortest;
    QCOMPARE(out.back(), int16_t(all - taken));
    // Faded, not cut: the taken voice's part goes down in small steps.
    int step = 0;
    for (int i = 1; i < Delay + MixDown::FadeFrames + 10; ++i)
        step = std::max(step, std::abs(int(out[size_t(i)]) - int(out[size_t(i - 1)])));
    QVERIFY2(step <= taken / 50 + 1, qPrintable(QString::number(step)));
}

void tst_MixDown::manySoundsAtOnceKeepTheLatest()
{
    // Seventeen at once, more than there are voices: the last twelve are heard.
    std::vector<std::vector<int16_t>> sounds;
    for (int i = 0; i < 17; ++i)
        sounds.push_back(level(10 * (i + 1), 5000));
    MixDown mix;
    for (const auto& s : sounds)
        mix.play(s.data(), uint32_t(s.size()));
    int latest = 0;
    for (int i = 17 - MixDown::Voices; i < 17; ++i)
        latest += 10 * (i + 1);
    QCOMPARE(render(mix, 1000).back(), int16_t(latest));
}

void tst_MixDown::volumeScalesWhatIsHeard()
{
    const auto sound = level(1000, 5000);
    MixDown mix;
    mix.setVolume(0.25f);
    mix.play(sound.data(), uint32_t(sound.size()));
    QCOMPARE(render(mix, 500).back(), int16_t(250));
    mix.setVolume(0.75f);
    QCOMPARE(render(mix, 500).back(), int16_t(750));
}

void tst_MixDown::gainComesBackSlowlyAfterAPeak()
{
    // Two loud sounds over a quiet one, then the quiet one alone: the gain
    // that held the peak down comes back over some 50 ms, not at once.
    const auto loud = level(26000, 2000);
    const auto quiet = level(3000, 20000);
    MixDown mix;
    mix.play(loud.data(), uint32_t(loud.size()));
    mix.play(loud.data(), uint32_t(loud.size()));
    mix.play(quiet.data(), uint32_t(quiet.size()));
    const auto out = render(mix, 12000);
    const int afterPeak = 2000 + Delay + 1;
    QVERIFY2(out[afterPeak + 110] < 2500, qPrintable(QString::number(out[afterPeak + 110]))); // 5 ms on: still held
    QVERIFY2(out[afterPeak + 1100] > out[afterPeak + 110], "coming back");
    QVERIFY2(out[afterPeak + 1100] < 3000, "yet not all the way after 50 ms");
    QVERIFY(std::abs(out[afterPeak + 8000] - 3000) <= 1); // after a third of a second: all of it
}

void tst_MixDown::fullQueueDropsTheNewestSound()
{
    // 64 silent sounds wait for the audio thread: the 65th finds no room and is
    // not heard, and none of the waiting ones is lost to it.
    const auto silent = level(0, 5000);
    const auto late = level(1000, 5000);
    MixDown mix;
    for (unsigned i = 0; i < MixDown::QueueSize; ++i)
        mix.play(silent.data(), uint32_t(silent.size()));
    mix.play(late.data(), uint32_t(late.size()));
    QCOMPARE(peak(render(mix, 1000)), 0);
}

void tst_MixDown::theLimitersDelayIsStillToBeHeard()
{
    // Every sample of a sound rendered: its last ones still wait in the
    // limiter's look ahead, and the stream is not silent until they are out.
    const auto sound = level(1000, 1000);
    MixDown mix;
    mix.play(sound.data(), uint32_t(sound.size()));
    render(mix, 1000);
    QVERIFY(mix.framesLeft() >= uint32_t(Delay));
    const auto tail = render(mix, int(mix.framesLeft()));
    QCOMPARE(tail[size_t(Delay) - 1], int16_t(1000));
    render(mix, 1);
    QCOMPARE(mix.framesLeft(), 0u);
}

void tst_MixDown::aSoundEndsAtItsLastSample()
{
    // A sound that is the start of a longer run of samples: what lies past
    // its end is never heard.
    std::vector<int16_t> run = level(1000, 101);
    run.back() = 9000;
    MixDown mix;
    mix.play(run.data(), 100);
    const auto out = render(mix, 400);
    QCOMPARE(peak(out), 1000);
    QCOMPARE(std::count(out.cbegin(), out.cend(), int16_t(1000)), 100);
}

QTEST_GUILESS_MAIN(tst_MixDown)
#include "tst_mixdown.moc"
