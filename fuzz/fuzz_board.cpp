// The game: the input bytes as a sequence of events on a fresh board (keys,
// ticks, launches, new games, pause, resume, focus loss, frames), with every
// box answered at once, and the board's invariants checked after each event.

#include "boardaccess.h"
#include "instantanswers.h"
#include "keys.h"

#include <QApplication>
#include <QFocusEvent>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using A = BoardAccess;

namespace {

int argcCopy = 1;
char* argvCopy[] = {const_cast<char*>("fuzz_board"), nullptr};
// Kept to the end of the process: libFuzzer leaves through exit(), and a
// QApplication torn down by static destruction crashes.
QTemporaryDir* home = nullptr;
QApplication* application = nullptr;
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
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("XAUTHORITY");
    home = new QTemporaryDir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home->path()));
    application = new QApplication(argcCopy, argvCopy);
    answers = new InstantAnswers;
    // The invariants speak for themselves; the offscreen platform's notes on
    // window hints would drown them.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::srand(1);
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
