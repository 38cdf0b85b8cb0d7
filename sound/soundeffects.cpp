#include "sound/soundeffects.h"

#include "board/board.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>

namespace {

// The shallowest submarines' blast plays this much faster than recorded, the
// deepest's this much slower: deeper sounds lower.
constexpr float ShallowSpeed = 1.3f;
constexpr float DeepSpeed = 0.75f;
// Past the end of the last sound before the output is closed: a buffer or two.
constexpr int RestMargin = 50;

} // namespace

SoundEffects::SoundEffects()
{
    rest.setSingleShot(true);
    QObject::connect(&rest, &QTimer::timeout, [this] {
        if (enabled && !gamePaused)
            return;
        if (const int left = mixer.millisecondsLeft(); left > 0)
            restSoon(left + RestMargin);
        else
            mixer.close();
    });
    if (!mixer.open())
        qWarning("No sound: %s", qPrintable(mixer.error()));
}

void SoundEffects::setEnabled(bool on)
{
    enabled = on;
    updateOutput();
}

void SoundEffects::setVolume(int percent)
{
    mixer.setVolume(float(std::clamp(percent, 0, 100)) / 100.0f);
}

void SoundEffects::paused(bool on)
{
    gamePaused = on;
    updateOutput();
}

void SoundEffects::updateOutput()
{
    if (enabled && !gamePaused) {
        rest.stop();
        // Open before the first sound, which then starts within a buffer.
        mixer.open();
        return;
    }
    if (!rest.isActive())
        restSoon(mixer.millisecondsLeft() + RestMargin);
}

void SoundEffects::restSoon(int milliseconds)
{
    rest.start(milliseconds);
}

void SoundEffects::bombDropped()
{
    play(bomb);
}

void SoundEffects::subDestroyed(int depth)
{
    const float deep = float(depth - Board::ShallowestDepth) / float(Board::DeepestDepth - Board::ShallowestDepth);
    play(hit, ShallowSpeed + (DeepSpeed - ShallowSpeed) * deep);
}

void SoundEffects::subEscaped()
{
    play(escape);
}

void SoundEffects::gameOver()
{
    // The game has just stopped for its end, not been paused.
    play(over, 1.0f, true);
}

void SoundEffects::placeEarned()
{
    play(place, 1.0f, true);
}

void SoundEffects::play(const std::vector<int16_t>& sound, float speed, bool whilePaused)
{
    if (!enabled || (gamePaused && !whilePaused))
        return;
    mixer.play(sound, speed);
    // At rest, the output closes once this has been heard.
    if (gamePaused)
        restSoon(std::max(rest.remainingTime(), int(double(sound.size()) * 1000 / Mixer::Rate / speed) + RestMargin));
}

std::vector<int16_t> SoundEffects::load(const char* name)
{
    // The WAV files makesounds writes: a 44-byte header, then the samples.
    QFile file(QStringLiteral(":/sound/%1.wav").arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray wav = file.readAll();
    constexpr int Header = 44;
    if (wav.size() < Header || !wav.startsWith("RIFF") || wav.mid(8, 8) != "WAVEfmt " || wav.mid(36, 4) != "data"
        || qFromLittleEndian<quint16>(wav.constData() + 22) != 1 || qFromLittleEndian<quint32>(wav.constData() + 24) != Mixer::Rate
        || qFromLittleEndian<quint16>(wav.constData() + 34) != 16)
        return {};
    const qsizetype count = std::min<qsizetype>(qFromLittleEndian<quint32>(wav.constData() + 40), wav.size() - Header) / 2;
    std::vector<int16_t> samples(static_cast<size_t>(count));
    for (qsizetype i = 0; i < count; ++i)
        samples[size_t(i)] = qFromLittleEndian<qint16>(wav.constData() + Header + 2 * i);
    return samples;
}
