#include "replay/replayverifier.h"

#include "board/pictures.h"
#include "platform/nativepath.h"
#include "replay/recording.h"
#include "replay/replayboard.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Only a failure is worth a line here: the toolkit's advice on a display
// nobody looks at is not.
void quietly(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "marlovex: %s\n", qPrintable(message));
}

} // namespace

ReplayVerifier::Result ReplayVerifier::verify(const QByteArray& fileName, int& argc, char** argv, std::FILE* out, std::FILE* err)
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
    qInstallMessageHandler(quietly);
    // Whatever the caller's session: no display is opened and no picture is
    // read. The game plays with the sizes its recording says it was played with.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "XAUTHORITY", "QPEDIR", "QT_QPA_PLATFORMTHEME"})
        qunsetenv(name);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Never shown, so no frame is drawn: only the game's own arithmetic runs.
    ReplayBoard board(*recording, Pictures::blank(recording->start().sizes));
    QElapsedTimer clock;
    clock.start();
    while (board.stepReplay()) {
    }
    const qint64 ticks = recording->ticks();
    const qint64 nanoseconds = std::max<qint64>(1, clock.nsecsElapsed());

    const bool same = board.replayMismatch().isEmpty() && board.replayedScore() == recording->score();
    std::fprintf(out, "%s: final score %d, recorded %d: %s\n", qPrintable(path), board.replayedScore(),
                 recording->score(), same ? "matches" : "does not match");
    if (!board.replayMismatch().isEmpty())
        std::fprintf(out, "%s: the game replayed differs: %s\n", qPrintable(path), qPrintable(board.replayMismatch()));
    // What the world asks of a game beyond its score: the luck its sea gave,
    // the launch timer's pace, the game's own pictures.
    const std::optional<Sea>& sea = recording->start().sea;
    QString seaLine;
    if (!sea)
        seaLine = QStringLiteral("not named (a recording of before seas were recorded, or of a game whose generator was seeded anew as it ran): its submarines are taken as recorded");
    else if (board.mismatchIsTheSea())
        seaLine = QStringLiteral("not the recording's: %1").arg(board.replayMismatch());
    else if (!board.seaProven())
        seaLine = QStringLiteral("not proven: the replay stopped before its end");
    else if (sea->isDealt())
        seaLine = QStringLiteral("proven: every submarine drawn from the sea a scoreboard dealt (seed %1)").arg(sea->seed);
    else
        seaLine = QStringLiteral("proven: every submarine drawn from seed %1 after %2 draws").arg(sea->seed).arg(sea->drawsBefore);
    std::fprintf(out, "%s: the sea: %s\n", qPrintable(path), qPrintable(seaLine));
    const QString pace = board.paceFault();
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
