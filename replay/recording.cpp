#include "replay/recording.h"

#include "platform/atomicfile.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <cstring>

namespace {

const char Magic[8] = {'M', 'L', 'V', 'X', 'R', 'P', 'L', 'Y'};
// Up to the name; version 2 has the pictures' sizes before it, version 3 the
// sea after them.
constexpr int HeaderSize1 = 40;
constexpr int SizesBytes = 12;
constexpr int HeaderSize2 = HeaderSize1 + SizesBytes;
constexpr int SeaBytes = 4 + 8 + Sea::TokenBytes;
constexpr int HeaderSize3 = HeaderSize2 + SeaBytes;
// A name longer than the list could sensibly hold is not a name.
constexpr quint32 LongestName = 1 << 20;

// The event codes; a run of ticks is 0x80 + (ticks - 1), 1 to 128 ticks.
constexpr quint8 SteerCode = 0x10; // + 1 left held, + 2 right held
constexpr quint8 FireCode = 0x20;
constexpr quint8 LaunchCode = 0x30; // direction, depth - 60, speed draw
constexpr quint8 SettleCode = 0x40;
constexpr quint8 TicksCode = 0x80;

constexpr quint8 LeftFlag = 1, RightFlag = 2, FinishedFlag = 4, DealtFlag = 8, NoSeaFlag = 16;

using Rules::Depths;
using Rules::Difficulties;
using Rules::Directions;
using Rules::ShallowestDepth;
using Rules::SpeedDraws;

} // namespace

quint32 Recording::checksum(const QByteArray& bytes)
{
    // CRC-32 as zlib and PNG compute it.
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (char byte : bytes)
        c = table[(c ^ quint8(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

namespace {

void put(QByteArray& out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

quint32 floatBits(float f)
{
    quint32 bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

float bitsFloat(quint32 bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Reads little-endian numbers from the front of a byte array; once past its
// end every read gives 0 and ok() is false.
class Bytes
{
public:
    explicit Bytes(const QByteArray& data) : data(data) {}
    // A number of 1 to 8 bytes.
    quint64 take(int bytes)
    {
        Q_ASSERT(bytes <= 8);
        if (bytes > data.size() - at) {
            at = data.size() + 1;
            return 0;
        }
        quint64 value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= quint64(quint8(data[at + i])) << (8 * i);
        at += bytes;
        return value;
    }
    void skip(qint64 n) { takeBytes(n); }
    QByteArray takeBytes(qint64 n)
    {
        if (n > data.size() - at) {
            at = data.size() + 1;
            return {};
        }
        const QByteArray part = data.mid(at, n);
        at += n;
        return part;
    }
    bool ok() const { return at <= data.size(); }
    qsizetype left() const { return ok() ? data.size() - at : 0; }

private:
    const QByteArray& data;
    qsizetype at = 0;
};

} // namespace

Recording::Recording(const Start& start)
    : begun(start)
    , open(true)
{
}

void Recording::flushTicks()
{
    if (pendingTicks == 0)
        return;
    events.append(char(TicksCode + pendingTicks - 1));
    tickCount += pendingTicks;
    pendingTicks = 0;
}

void Recording::steer(bool left, bool right)
{
    if (!open)
        return;
    append(char(SteerCode | (left ? LeftFlag : 0) | (right ? RightFlag : 0)));
    played = true;
}

void Recording::fire()
{
    if (!open)
        return;
    append(char(FireCode));
    played = true;
}

void Recording::launch(int direction, int depth, int speedDraw)
{
    if (!open)
        return;
    append(char(LaunchCode));
    events.append(char(direction));
    events.append(char(depth - ShallowestDepth));
    events.append(char(speedDraw));
}

void Recording::forgetSea()
{
    if (open)
        begun.sea.reset();
}

void Recording::settle()
{
    if (open)
        append(char(SettleCode));
}

void Recording::close(bool gameEnded, int score, qint64 endedAt)
{
    if (!open)
        return;
    flushTicks();
    open = false;
    finished = gameEnded;
    finalScore = score;
    ended = endedAt;
}

bool Recording::next(int& position, Event& event) const
{
    if (position >= events.size())
        return false;
    const quint8 code = quint8(events[position++]);
    if (code >= TicksCode) {
        event.kind = Event::Ticks;
        event.ticks = code - TicksCode + 1;
    } else if ((code & 0xF0) == SteerCode) {
        event.kind = Event::Steer;
        event.left = code & LeftFlag;
        event.right = code & RightFlag;
    } else if (code == FireCode) {
        event.kind = Event::Fire;
    } else if (code == LaunchCode) {
        event.kind = Event::Launch;
        event.direction = quint8(events[position]);
        event.depth = quint8(events[position + 1]) + ShallowestDepth;
        event.speedDraw = quint8(events[position + 2]);
        position += 3;
    } else {
        event.kind = Event::Settle;
    }
    return true;
}

QByteArray Recording::toBytes() const
{
    // A recording still open is written as it stands, with the ticks run so far.
    Recording whole(*this);
    whole.flushTicks();
    QByteArray out(Magic, sizeof Magic);
    put(out, Version, 2);
    put(out, quint8(begun.difficulty), 1);
    const Sea sea = begun.sea.value_or(Sea());
    put(out, (begun.left ? LeftFlag : 0) | (begun.right ? RightFlag : 0) | (finished ? FinishedFlag : 0)
             | (sea.isDealt() ? DealtFlag : 0) | (begun.sea ? 0 : NoSeaFlag), 1);
    put(out, floatBits(begun.destroyerX), 4);
    put(out, floatBits(begun.waterPhase), 4);
    put(out, quint32(finalScore), 4);
    put(out, quint32(whole.tickCount), 4);
    put(out, quint64(ended), 8);
    for (const QSize& size : {begun.sizes.destroyer, begun.sizes.sub, begun.sizes.bomb}) {
        put(out, quint16(size.width()), 2);
        put(out, quint16(size.height()), 2);
    }
    put(out, sea.seed, 4);
    put(out, sea.drawsBefore, 8);
    out.append(sea.isDealt() ? sea.deal : QByteArray(Sea::TokenBytes, '\0'));
    put(out, quint32(player.size()), 4);
    for (QChar c : player)
        put(out, c.unicode(), 2);
    put(out, quint32(whole.events.size()), 4);
    out.append(whole.events);
    put(out, checksum(out), 4);
    return out;
}

std::optional<Recording> Recording::fromBytes(const QByteArray& bytes, QString* why)
{
    auto refuse = [why](const QString& reason) {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (bytes.size() < qsizetype(sizeof Magic) || std::memcmp(bytes.constData(), Magic, sizeof Magic) != 0)
        return refuse(QStringLiteral("not a Marlovex recording"));
    Bytes in(bytes);
    in.skip(sizeof Magic);
    const int version = int(in.take(2));
    if (!in.ok())
        return refuse(QStringLiteral("cut short"));
    if (version < 1 || version > Version)
        return refuse(QStringLiteral("a recording of format version %1; this game reads versions 1 to %2").arg(version).arg(Version));
    const int headerSize = version == 1 ? HeaderSize1 : version == 2 ? HeaderSize2 : HeaderSize3;
    // The lengths first, so that a file cut short says so.
    Bytes lengths(bytes);
    lengths.skip(headerSize - 4);
    const quint64 nameLength = lengths.take(4);
    if (!lengths.ok() || nameLength > LongestName)
        return refuse(QStringLiteral("cut short"));
    lengths.skip(qint64(nameLength) * 2);
    const quint64 eventBytes = lengths.take(4);
    if (!lengths.ok() || qint64(eventBytes) + 4 > lengths.left())
        return refuse(QStringLiteral("cut short"));
    if (qint64(eventBytes) + 4 < lengths.left())
        return refuse(QStringLiteral("%1 bytes after its end").arg(lengths.left() - qint64(eventBytes) - 4));
    const QByteArray body = bytes.left(bytes.size() - 4);
    const quint32 sum = quint32(Bytes(bytes.right(4)).take(4));
    if (checksum(body) != sum)
        return refuse(QStringLiteral("damaged or changed since it was written (its checksum does not match)"));

    Bytes header(body);
    header.skip(sizeof Magic + 2);
    Recording r;
    r.begun.difficulty = int(header.take(1));
    const quint8 flags = quint8(header.take(1));
    r.begun.left = flags & LeftFlag;
    r.begun.right = flags & RightFlag;
    r.finished = flags & FinishedFlag;
    r.begun.destroyerX = bitsFloat(quint32(header.take(4)));
    r.begun.waterPhase = bitsFloat(quint32(header.take(4)));
    r.finalScore = qint32(quint32(header.take(4)));
    const quint32 ticks = quint32(header.take(4));
    r.ended = qint64(header.take(8));
    if (version >= 2) {
        for (QSize* size : {&r.begun.sizes.destroyer, &r.begun.sizes.sub, &r.begun.sizes.bomb}) {
            size->setWidth(int(header.take(2)));
            size->setHeight(int(header.take(2)));
        }
    }
    if (version >= 3) {
        Sea sea;
        sea.seed = quint32(header.take(4));
        sea.drawsBefore = header.take(8);
        const QByteArray token = header.takeBytes(Sea::TokenBytes);
        if (flags & DealtFlag)
            sea.deal = token;
        else if (token.count('\0') != token.size())
            return refuse(QStringLiteral("a deal's token in a game not dealt"));
        if (sea.drawsBefore > Sea::FurthestStart)
            return refuse(QStringLiteral("a sea begun %1 draws into its sequence").arg(sea.drawsBefore));
        if ((flags & NoSeaFlag) && (flags & DealtFlag))
            return refuse(QStringLiteral("a dealt sea that is none"));
        if (!(flags & NoSeaFlag))
            r.begun.sea = sea;
    }
    header.take(4); // the name's length, read above
    const quint8 known = LeftFlag | RightFlag | FinishedFlag | (version >= 3 ? DealtFlag | NoSeaFlag : 0);
    if (flags & ~known)
        return refuse(QStringLiteral("unknown flags 0x%1").arg(flags, 2, 16, QLatin1Char('0')));
    if (r.begun.difficulty >= Difficulties)
        return refuse(QStringLiteral("difficulty %1 is none of the game's").arg(r.begun.difficulty));
    // The destroyer starts on the field, and the sea at one of its frames.
    if (!(r.begun.destroyerX >= -Rules::DestroyerStep && r.begun.destroyerX <= float(Rules::FieldWidth) + Rules::DestroyerStep))
        return refuse(QStringLiteral("the destroyer starts off the field"));
    if (!(r.begun.waterPhase >= 0.0f && r.begun.waterPhase < float(Rules::WaterFrames)))
        return refuse(QStringLiteral("the sea starts at no frame of its own"));
    // A picture larger than the field is none the game could play with.
    for (const QSize& size : {r.begun.sizes.destroyer, r.begun.sizes.sub, r.begun.sizes.bomb})
        if (size.width() > Rules::FieldWidth || size.height() > Rules::FieldHeight)
            return refuse(QStringLiteral("a picture of %1 × %2 pixels, larger than the field").arg(size.width()).arg(size.height()));
    r.player.resize(qsizetype(nameLength));
    for (quint64 i = 0; i < nameLength; ++i)
        r.player[i] = QChar(char16_t(header.take(2)));
    header.take(4); // the events' length, read above
    r.events = header.takeBytes(qint64(eventBytes));

    // Every event whole and of the game's own kinds and ranges, and as many
    // ticks as the header says.
    qint64 counted = 0;
    for (int i = 0; i < r.events.size();) {
        const quint8 code = quint8(r.events[i]);
        const int at = i++;
        if (code >= TicksCode) {
            counted += code - TicksCode + 1;
        } else if (code == LaunchCode) {
            if (r.events.size() - i < 3)
                return refuse(QStringLiteral("a launch cut short at event byte %1").arg(at));
            const int direction = quint8(r.events[i]), depth = quint8(r.events[i + 1]), speed = quint8(r.events[i + 2]);
            if (direction >= Directions || depth >= Depths || speed >= SpeedDraws)
                return refuse(QStringLiteral("a launch the game cannot draw at event byte %1").arg(at));
            i += 3;
        } else if ((code & 0xF0) == SteerCode && (code & 0x0F) <= (LeftFlag | RightFlag)) {
        } else if (code != FireCode && code != SettleCode) {
            return refuse(QStringLiteral("an unknown event 0x%1 at event byte %2").arg(code, 2, 16, QLatin1Char('0')).arg(at));
        }
    }
    if (counted != ticks)
        return refuse(QStringLiteral("%1 ticks recorded where the header says %2").arg(counted).arg(ticks));
    r.tickCount = counted;
    return r;
}

bool Recording::save(const QString& path, QString* why) const
{
    return AtomicFile::write(path, toBytes(), why);
}

std::optional<Recording> Recording::load(const QString& path, QString* why)
{
    if (path.isEmpty()) {
        if (why)
            *why = QStringLiteral("no file named");
        return std::nullopt;
    }
    // A FIFO or a device named like a recording would block or never end.
    if (const QFileInfo info(path); info.exists() && !info.isFile()) {
        if (why)
            *why = QStringLiteral("not a regular file");
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = file.errorString();
        return std::nullopt;
    }
    if (file.size() > LargestFile) {
        if (why)
            *why = QStringLiteral("larger than any recording (%1 bytes)").arg(file.size());
        return std::nullopt;
    }
    const QByteArray bytes = file.read(LargestFile + 1);
    if (bytes.size() > LargestFile) {
        if (why)
            *why = QStringLiteral("larger than any recording");
        return std::nullopt;
    }
    return fromBytes(bytes, why);
}
