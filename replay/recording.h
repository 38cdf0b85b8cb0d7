#ifndef RECORDING_H
#define RECORDING_H

#include "board/rules.h"
#include "board/sea.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// One game as it was played: how it started, and everything from outside the
// tick that changed it, in the order it came (the steering keys, the bombs
// dropped, the launches with what they drew, a negative score raised to 0 by
// a frame), between the ticks. Replayed from the same start, the same events
// give the same game to the float. docs/REPLAYS.md describes the file.
class Recording
{
public:
    // The version written. Version 1, before the sizes were written, is read
    // as a game played with the built-in pictures; versions 1 and 2 name no
    // sea.
    static constexpr int Version = 3;
    // More than any game could hold; a larger file is refused unread.
    static constexpr qint64 LargestFile = 16 * 1024 * 1024;

    struct Start {
        int difficulty = 1;
        float destroyerX = 0.0f;
        float waterPhase = 0.0f;
        bool left = false;
        bool right = false;
        // The sizes of the pictures the game was played with.
        Rules::Sizes sizes = Rules::BuiltInSizes;
        // Where its submarines came from; unknown in files of before.
        std::optional<Sea> sea;
    };
    // What happened between two ticks, or a run of ticks.
    struct Event {
        enum Kind { Ticks, Steer, Fire, Launch, Settle };
        Kind kind = Ticks;
        int ticks = 0; // Ticks: how many
        bool left = false, right = false; // Steer: the flags as they are now
        int direction = 0, depth = 0, speedDraw = 0; // Launch: the three draws
    };

    Recording() = default;
    explicit Recording(const Start& start);

    const Start& start() const { return begun; }
    // While recording: the game has not ended and the recording is not closed.
    bool isOpen() const { return open; }
    // The game ended (the fourth escape), rather than being left or cut short.
    bool isFinished() const { return finished; }
    // The final score once finished; the score when it was closed otherwise.
    int score() const { return finalScore; }
    qint64 ticks() const { return tickCount + pendingTicks; }
    // Milliseconds since 1970 (UTC) when it was closed.
    qint64 endedAt() const { return ended; }
    QString name() const { return player; }
    void setName(const QString& name) { player = name; }
    // The player steered or fired: a game, not just the first one running by itself.
    bool hasPlayerInput() const { return played; }

    // Recording; each does nothing once closed. A tick costs a counter's step.
    void tick()
    {
        if (open && ++pendingTicks == MaxRun)
            flushTicks();
    }
    void steer(bool left, bool right);
    void fire();
    void launch(int direction, int depth, int speedDraw);
    void settle();
    // The game's generator was seeded anew during the game: its launches no
    // longer come from the sea it began on, and the recording names none.
    void forgetSea();
    // Ends the recording: finished when the game ended, with its score.
    void close(bool gameEnded, int score, qint64 endedAt);

    // The events in order; false at the end. position starts at 0.
    bool next(int& position, Event& event) const;

    QByteArray toBytes() const;
    // A recording, or nothing and why not in *why.
    static std::optional<Recording> fromBytes(const QByteArray& bytes, QString* why);
    // Written whole or not at all; false and why in *why.
    bool save(const QString& path, QString* why = nullptr) const;
    static std::optional<Recording> load(const QString& path, QString* why);
    // The CRC-32 (as zlib's) that ends the file, of the bytes before it.
    static quint32 checksum(const QByteArray& bytes);

private:
    static constexpr int MaxRun = 128;
    void flushTicks();
    void append(char op) { flushTicks(); events.append(op); }

    Start begun;
    QByteArray events;
    int pendingTicks = 0;
    qint64 tickCount = 0;
    int finalScore = 0;
    qint64 ended = 0;
    QString player;
    bool open = false;
    bool finished = false;
    bool played = false;
};

#endif
