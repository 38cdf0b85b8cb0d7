// The game: the input bytes as a sequence of events on a fresh board (keys,
// ticks, launches, new games, pause, resume, focus loss, frames), with every
// box answered at once, and the board's invariants checked after each event.

#include "boardaccess.h"
#include "fuzzapplication.h"
#include "instantanswers.h"
#include "keys.h"

#include <QCoreApplication>
#include <QFocusEvent>

#include <cstdio>
#include <cstdlib>

using A = BoardAccess;

namespace {

// Kept to the end of the process, as the application is.
InstantAnswers* answers = nullptr;

void apply(Board& board, quint8 byte)
{
    static const int keys[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Return, Qt::Key_Control, Qt::Key_Space};
    const bool autoRepeat = byte & 0x80;
    switch ((byte & 0x7f) % 20) {
    case 0: case 1: case 2: case 3: case 4:
        Keys::press(&board, keys[(byte & 0x7f) % 20], autoRepeat);
        break;
    case 5: case 6: case 7: case 8: case 9:
        Keys::release(&board, keys[(byte & 0x7f) % 20 - 5], autoRepeat);
        break;
    case 10:
        A::tick(board);
        break;
    case 11:
        for (int i = 0; i < 1 + (byte >> 5); ++i)
            A::tick(board);
        break;
    case 12:
        for (int i = 0; i < 25 * (1 + (byte >> 5)); ++i)
            A::tick(board);
        break;
    case 13:
        A::launch(board);
        break;
    case 14:
        board.newGame((byte >> 5) % 3);
        board.pauseGame(); // the fuzzer is the clock
        break;
    case 15:
        board.pauseGame();
        break;
    case 16:
        board.resumeGame();
        break;
    case 17: {
        QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QCoreApplication::sendEvent(&board, &out);
        break;
    }
    case 18:
        A::compose(board);
        break;
    case 19:
        for (int i = 0; i < 21; ++i)
            A::launch(board);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzApplication::start("fuzz_board");
    answers = new InstantAnswers;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Sea::seedGenerator(1);
    Board board;
    board.pauseGame();
    for (size_t i = 0; i < size; ++i) {
        apply(board, data[i]);
        const QString broken = A::brokenInvariant(board);
        if (!broken.isEmpty()) {
            std::fprintf(stderr, "fuzz_board: after event %zu (byte 0x%02x): %s\n", i, data[i], qPrintable(broken));
            std::abort();
        }
    }
    return 0;
}
