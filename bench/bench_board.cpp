// The board's costs, on the offscreen platform: the tick's game logic alone,
// the frame composed into the buffer alone, a whole tick with its copy to the
// widget (on a still field, and averaged over a water cycle with moving
// sprites), and the floor, the same widget copying one prepared frame to itself;
// the whole tick again with the game's recording closed, and a recorded game
// replayed without a window, as the verifier does.

#include "boardaccess.h"
#include "outputcapture.h"
#include "board/game.h"
#include "replay/gamereplay.h"
#include "replay/recording.h"
#include "replay/replayboard.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>

using A = BoardAccess;

namespace {

// Twenty submarines and three bombs that all stay where they are, so every
// tick does the most work a tick can: 20 moves, 3 moves, 60 hit tests.
std::unique_ptr<Board> fullField()
{
    OutputCapture quiet;
    auto board = std::make_unique<Board>();
    board->pauseGame();
    board->resize(Board::FieldWidth, Board::FieldHeight); // as the main window places it
    for (int i = 0; i < Board::MaxSubs; ++i)
        A::addSub(*board, float(10 + i * 10), float(60 + i * 9), 0.0f);
    for (int i = 0; i < Board::MaxBombs; ++i)
        A::addBomb(*board, float(20 + i * 80), 45.0f, 0.0f);
    return board;
}

// Answers the board's paint events with one prepared frame: the same widget,
// copying a frame to itself and doing nothing else.
class PreparedFrame : public QObject
{
public:
    explicit PreparedFrame(QWidget* widget)
        : frame(QSize(Board::FieldWidth, Board::FieldHeight) * widget->devicePixelRatioF())
    {
        frame.setDevicePixelRatio(widget->devicePixelRatioF());
        frame.fill(Qt::darkBlue);
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        QPainter painter(static_cast<QWidget*>(watched));
        painter.drawPixmap(0, 0, frame);
        return true;
    }

private:
    QPixmap frame;
};

void tickLogic(benchmark::State& state)
{
    auto board = fullField(); // not shown: the tick draws nothing
    for (auto _ : state)
        A::tick(*board);
    if (A::subCount(*board) != Board::MaxSubs || A::bombCount(*board) != Board::MaxBombs)
        state.SkipWithError("the field changed");
}
BENCHMARK(tickLogic);

void frameComposition(benchmark::State& state)
{
    auto board = fullField();
    for (auto _ : state)
        A::compose(*board);
}
BENCHMARK(frameComposition);

void wholeTick(benchmark::State& state)
{
    auto board = fullField();
    board->show();
    QCoreApplication::processEvents();
    for (auto _ : state)
        A::tick(*board);
}
BENCHMARK(wholeTick);

// The same with nothing recorded: what recording costs a tick is the difference.
void wholeTickUnrecorded(benchmark::State& state)
{
    auto board = fullField();
    A::stopRecording(*board);
    board->show();
    QCoreApplication::processEvents();
    for (auto _ : state)
        A::tick(*board);
}
BENCHMARK(wholeTickUnrecorded);

// A whole recorded game (4011 ticks, played by the tests' autopilot) replayed
// as --verify-replay does it, per tick.
void replayTick(benchmark::State& state)
{
    QString why;
    const auto recording = Recording::load(QStringLiteral(MARLOVEX_SOURCE_RECORDINGS "/autopilot-easy-3541.replay"), &why);
    if (!recording) {
        state.SkipWithError(qPrintable(why));
        return;
    }
    for (auto _ : state) {
        ReplayBoard board(*recording);
        while (board.stepReplay()) {
        }
        benchmark::DoNotOptimize(board.replayedScore());
    }
    state.SetItemsProcessed(state.iterations() * recording->ticks());
}
BENCHMARK(replayTick);

// The same game verified as the scoreboard does it, on the rules alone, on
// one thread and on two at once: games verified a second in all.
void verifyGame(benchmark::State& state)
{
    QString why;
    const auto recording = Recording::load(QStringLiteral(MARLOVEX_SOURCE_RECORDINGS "/autopilot-easy-3541.replay"), &why);
    if (!recording) {
        state.SkipWithError(qPrintable(why));
        return;
    }
    for (auto _ : state) {
        Game game(recording->start().sizes);
        GameReplay replay(*recording, game);
        replay.run();
        benchmark::DoNotOptimize(replay.score());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(verifyGame)->Threads(1)->Threads(2)->UseRealTime();

// A game in motion over the 80 ticks of a water cycle, counted per tick: the
// given number of submarines crossing both ways at the speeds launches give
// them (5 to 50 pixels a second), bombs sinking and the destroyer steering,
// none of them meeting. Four and two are a typical moment, ten and three a busy one.
void wholeTickCycle(benchmark::State& state)
{
    const int subCount = int(state.range(0));
    const int bombCount = int(state.range(1));
    OutputCapture quiet;
    Board board;
    board.pauseGame();
    board.show();
    QCoreApplication::processEvents();
    constexpr int Ticks = 80;
    for (auto _ : state) {
        // The records stay the board's: their slots are only filled again.
        for (int i = 0; i < subCount; ++i) {
            if (i >= A::subCount(board))
                A::addSub(board, 0, 0, 0);
            *A::sub(board, i) = Sub(20 + 15 * i, 60 + 18 * i, float((i % 2 ? 5 : -5) * (i + 1)));
        }
        for (int i = 0; i < bombCount; ++i) {
            if (i >= A::bombCount(board))
                A::addBomb(board, 0, 0);
            *A::bomb(board, i) = Bomb(200 + 10 * i, 45, 30.0f);
        }
        A::destroyerX(board) = 100.0f;
        for (int tick = 0; tick < Ticks; ++tick) {
            A::leftPressed(board) = tick < Ticks / 2;
            A::rightPressed(board) = tick >= Ticks / 2;
            A::tick(board);
        }
    }
    A::leftPressed(board) = A::rightPressed(board) = false;
    if (A::lives(board) != 3 || A::subCount(board) != subCount || A::bombCount(board) != bombCount)
        state.SkipWithError("a submarine got away or was hit");
    state.SetItemsProcessed(state.iterations() * Ticks);
}
BENCHMARK(wholeTickCycle)->Args({4, 2})->Args({10, 3});

void floorCopy(benchmark::State& state)
{
    auto board = fullField();
    board->show();
    QCoreApplication::processEvents();
    PreparedFrame prepared(board.get());
    for (auto _ : state)
        board->repaint();
}
BENCHMARK(floorCopy);

class Reporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> nanoseconds;
    // The spread of the repetitions, where they were repeated.
    std::map<std::string, double> stddev;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
                // Per item where a run counts items: the cycle, per tick.
                const auto items = run.counters.find("items_per_second");
                const std::string& args = run.run_name.args;
                const std::string& threads = run.run_name.threads;
                nanoseconds[run.run_name.function_name + (args.empty() ? "" : "/" + args) + (threads.empty() ? "" : "/" + threads)]
                    = items != run.counters.end() ? 1e9 / items->second.value : run.GetAdjustedCPUTime();
            } else if (run.aggregate_name == "stddev" && run.counters.find("items_per_second") == run.counters.end()) {
                stddev[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
    }
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("XAUTHORITY");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);

    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n"); // after the console reporter's closing colour reset
    for (const auto& [name, ns] : reporter.nanoseconds)
        std::printf("result %s %.1f\n", name.c_str(), ns);
    for (const auto& [name, ns] : reporter.stddev)
        std::printf("result %s_stddev %.1f\n", name.c_str(), ns);
    return 0;
}
