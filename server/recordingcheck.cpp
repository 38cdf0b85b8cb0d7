#include "server/recordingcheck.h"

#include "board/game.h"
#include "replay/gamereplay.h"

RecordingCheck::Result RecordingCheck::read(const QByteArray& bytes)
{
    QString why;
    std::optional<Recording> recording = Recording::fromBytes(bytes, &why);
    if (!recording)
        return {std::nullopt, QStringLiteral("not a recording the game reads: %1").arg(why), Verdict::Unreadable};
    if (!recording->isFinished())
        return {std::nullopt, QStringLiteral("a game left before its end"), Verdict::Unfinished};
    // Other pictures make another game: the world ranks only the game's own.
    if (recording->start().sizes != Rules::BuiltInSizes)
        return {std::nullopt, QStringLiteral("played with pictures of other sizes than the game's own"), Verdict::Pictures};
    return {std::move(recording), QString(), Verdict::Listed};
}

RecordingCheck::Result RecordingCheck::play(const Recording& recording)
{
    // Played with the sizes it was played with: only the game's own
    // arithmetic runs.
    Game game(recording.start().sizes);
    GameReplay replay(recording, game);
    replay.run();
    if (replay.mismatchIsTheSea())
        return {std::nullopt, QStringLiteral("its submarines are not its sea's: %1").arg(replay.mismatch()), Verdict::Sea};
    if (!replay.mismatch().isEmpty())
        return {std::nullopt, QStringLiteral("it does not replay as recorded: %1").arg(replay.mismatch()), Verdict::Mismatch};
    if (replay.score() != recording.score())
        return {std::nullopt, QStringLiteral("it scores %1 where it says %2").arg(replay.score()).arg(recording.score()),
                Verdict::WrongScore};
    if (!replay.paceFault().isEmpty())
        return {std::nullopt, QStringLiteral("its submarines came sooner than the game sends them: %1").arg(replay.paceFault()),
                Verdict::Pace};
    return {recording, QString(), Verdict::Listed};
}

RecordingCheck::Result RecordingCheck::check(const QByteArray& bytes)
{
    Result read = RecordingCheck::read(bytes);
    return read.recording ? play(*read.recording) : read;
}

const char* RecordingCheck::name(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Listed:
        return "listed";
    case Verdict::Unreadable:
        return "unreadable";
    case Verdict::Unfinished:
        return "unfinished";
    case Verdict::Mismatch:
        return "mismatch";
    case Verdict::WrongScore:
        return "wrong_score";
    case Verdict::Sea:
        return "sea";
    case Verdict::Pace:
        return "pace";
    case Verdict::Pictures:
        return "pictures";
    }
    return "";
}

const char* RecordingCheck::code(Verdict verdict)
{
    return verdict == Verdict::WrongScore ? "wrong-score" : name(verdict);
}
