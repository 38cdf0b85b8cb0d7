#include "sound/soundeffects.h"

#include "board/board.h"

#include <QFile>
#include <QtEndian>

namespace {

// The shallowest submarines' blast plays this much faster than recorded, the
// deepest's this much slower: deeper sounds lower.
constexpr float ShallowSpeed = 1.3f;
constexpr float DeepSpeed = 0.75f;

} // namespace

SoundEffects::SoundEffects()
{
    if (!mixer.isOpen())
        qWarning("No sound: %s", qPrintable(mixer.error()));
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
    if (enabled && (whilePaused || !gamePaused))
        mixer.play(sound, speed);
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
