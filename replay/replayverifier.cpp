#include "replay/replayverifier.h"

#include "board/board.h"
#include "replay/recording.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>

namespace {

// Only a failure is worth a line here: the toolkit's advice on a display
// nobody looks at is not.
void quietly(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "marlovex: %s\n", qPrintable(message));
}

} // namespace

ReplayVerifier::Result ReplayVerifier::verify(const QString& path, int& argc, char** argv, std::FILE* out, std::FILE* err)
{
    QString why;
    const std::optional<Recording> recording = Recording::load(path, &why);
    if (!recording) {
        std::fprintf(err, "marlovex: cannot read the recording %s: %s\n", qPrintable(path), qPrintable(why));
        return Unreadable;
    }
    qInstallMessageHandler(quietly);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The pictures built into the program, whatever the working directory.
    qunsetenv("XAUTHORITY");
    QApplication app(argc, argv);
    // Never shown, so no frame is drawn: only the game's own arithmetic runs.
    Board board(*recording);
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
    std::fprintf(out, "%s: %lld ticks (%s) replayed at %.0f ticks a second\n", qPrintable(path), ticks,
                 recording->isFinished() ? "to the game's end" : "a game left unfinished",
                 double(ticks) * 1e9 / double(nanoseconds));
    std::fflush(out);
    return same ? Matches : DoesNotMatch;
}
