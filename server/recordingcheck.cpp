#include "server/recordingcheck.h"

#include "board/pictures.h"
#include "replay/replayboard.h"

RecordingCheck::Result RecordingCheck::check(const QByteArray& bytes)
{
    QString why;
    std::optional<Recording> recording = Recording::fromBytes(bytes, &why);
    if (!recording)
        return {std::nullopt, QStringLiteral("not a recording the game reads: %1").arg(why), Verdict::Unreadable};
    if (!recording->isFinished())
        return {std::nullopt, QStringLiteral("a game left before its end"), Verdict::Unfinished};
    // Played with bare pictures of the sizes it was played with: only the
    // game's own arithmetic runs.
    ReplayBoard board(*recording, Pictures::blank(recording->start().sizes));
    while (board.stepReplay()) {
    }
    if (!board.replayMismatch().isEmpty())
        return {std::nullopt, QStringLiteral("it does not replay as recorded: %1").arg(board.replayMismatch()), Verdict::Mismatch};
    if (board.replayedScore() != recording->score())
        return {std::nullopt, QStringLiteral("it scores %1 where it says %2").arg(board.replayedScore()).arg(recording->score()),
                Verdict::WrongScore};
    return {std::move(recording), QString(), Verdict::Listed};
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
    }
    return "";
}
