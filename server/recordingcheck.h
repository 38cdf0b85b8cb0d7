#ifndef RECORDINGCHECK_H
#define RECORDINGCHECK_H

#include "replay/recording.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A recording sent to the scoreboard, read and played through by the game's
// own rules before anything of it is believed: only a game played to its end
// that comes to the score it claims is one to list.
class RecordingCheck
{
public:
    // The largest recording taken: a game of an hour is some 60 KiB.
    static constexpr qsizetype LargestBody = 256 * 1024;

    // What the check found, by kind: one for each refusal counted apart.
    enum class Verdict { Listed, Unreadable, Unfinished, Mismatch, WrongScore };

    struct Result {
        std::optional<Recording> recording; // set when the game is one to list
        QString refusal;                    // why not, otherwise
        Verdict verdict = Verdict::Listed;
    };
    // The verdict's name in the server's metrics.
    static const char* name(Verdict verdict);

    // Needs the application object (the game is a widget, never shown).
    static Result check(const QByteArray& bytes);
};

#endif
