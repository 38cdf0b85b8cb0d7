#ifndef RECORDINGCHECK_H
#define RECORDINGCHECK_H

#include "replay/recording.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A recording sent to the scoreboard, read and played through by the game's
// own rules before anything of it is believed: only a game played to its end,
// with the game's own pictures, that comes to the score it claims, drew what
// its sea gives and launched at the launch timer's pace, is one to list.
class RecordingCheck
{
public:
    // The largest recording taken: a game of an hour is some 60 KiB.
    static constexpr qsizetype LargestBody = 256 * 1024;

    // What the check found: one for each refusal counted apart.
    enum class Verdict { Listed, Unreadable, Unfinished, Mismatch, WrongScore, Sea, Pace, Pictures };

    struct Result {
        std::optional<Recording> recording; // set when nothing is wrong so far
        QString refusal;                    // why not, otherwise
        Verdict verdict = Verdict::Listed;
    };
    // The verdict's name in the server's metrics, and its code in a refusal.
    static const char* name(Verdict verdict);
    static const char* code(Verdict verdict);

    // What can be told without playing: a recording this game reads, of a
    // game played to its end with the game's own pictures.
    static Result read(const QByteArray& bytes);
    // Played through: the rest. Runs on any thread.
    static Result play(const Recording& recording);
    // Both.
    static Result check(const QByteArray& bytes);
};

#endif
