#include "replay/replayverifier.h"

#include "board/game.h"
#include "platform/nativepath.h"
#include "replay/gamereplay.h"
#include "replay/recording.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

ReplayVerifier::Result ReplayVerifier::verify(const QByteArray& fileName, std::FILE* out, std::FILE* err)
{
    const QString path = NativePath::shown(fileName);
    QString why;
    const QString usable = fileName.isEmpty() ? QString() : NativePath::usable(fileName);
    const std::optional<Recording> recording
        = usable.isEmpty() && !fileName.isEmpty() ? std::nullopt : Recording::load(usable, &why);
    if (!recording && why.isEmpty())
        why = QString::fromLocal8Bit(std::strerror(errno));
    if (!recording) {
        std::fprintf(err, "marlovex: cannot read the recording %s: %s\n", qPrintable(path), qPrintable(why));
        return Unreadable;
    }
    // Whatever the caller's session: no display is opened and no picture is
    // read, only the game's own arithmetic runs, with the sizes its recording
    // says it was played with.
    Game game(recording->start().sizes);
    GameReplay replay(*recording, game);
    QElapsedTimer clock;
    clock.start();
    replay.run();
    const qint64 ticks = recording->ticks();
    const qint64 nanoseconds = std::max<qint64>(1, clock.nsecsElapsed());

    const bool same = replay.mismatch().isEmpty() && replay.score() == recording->score();
    std::fprintf(out, "%s: final score %d, recorded %d: %s\n", qPrintable(path), replay.score(),
                 recording->score(), same ? "matches" : "does not match");
    if (!replay.mismatch().isEmpty())
        std::fprintf(out, "%s: the game replayed differs: %s\n", qPrintable(path), qPrintable(replay.mismatch()));
    // What the world asks of a game beyond its score: the luck its sea gave,
    // the launch timer's pace, the game's own pictures.
    const std::optional<Sea>& sea = recording->start().sea;
    QString seaLine;
    if (!sea)
        seaLine = QStringLiteral("not named (a recording of before seas were recorded, or of a game whose generator was seeded anew as it ran): its submarines are taken as recorded");
    else if (replay.mismatchIsTheSea())
        seaLine = QStringLiteral("not the recording's: %1").arg(replay.mismatch());
    else if (!replay.seaProven())
        seaLine = QStringLiteral("not proven: the replay stopped before its end");
    else if (sea->isDealt())
        seaLine = QStringLiteral("proven: every submarine drawn from the sea a scoreboard dealt (seed %1)").arg(sea->seed);
    else
        seaLine = QStringLiteral("proven: every submarine drawn from seed %1 after %2 draws").arg(sea->seed).arg(sea->drawsBefore);
    std::fprintf(out, "%s: the sea: %s\n", qPrintable(path), qPrintable(seaLine));
    const QString pace = replay.paceFault();
    std::fprintf(out, "%s: the launches: %s\n", qPrintable(path),
                 pace.isEmpty() ? "at the launch timer's pace"
                                : qPrintable(QStringLiteral("%1; a game to keep, not one the world lists").arg(pace)));
    const Rules::Sizes& sizes = recording->start().sizes;
    std::fprintf(out, "%s: the pictures: %s\n", qPrintable(path),
                 sizes == Rules::BuiltInSizes
                     ? "the game's own sizes"
                     : qPrintable(QStringLiteral("other sizes than the game's own (destroyer %1 × %2, submarine %3 × %4, bomb %5 × %6); "
                                                 "a game to keep, not one the world lists")
                                      .arg(sizes.destroyer.width()).arg(sizes.destroyer.height())
                                      .arg(sizes.sub.width()).arg(sizes.sub.height())
                                      .arg(sizes.bomb.width()).arg(sizes.bomb.height())));
    std::fprintf(out, "%s: %lld ticks (%s) replayed at %.0f ticks a second\n", qPrintable(path), ticks,
                 recording->isFinished() ? "to the game's end" : "a game left unfinished",
                 double(ticks) * 1e9 / double(nanoseconds));
    std::fflush(out);
    return same ? Matches : DoesNotMatch;
}
