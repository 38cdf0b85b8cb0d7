// A recording's file: the input as it is, and again with its checksum made
// right so that the reader gets past it. What the reader refuses, it says
// why; what it takes, it writes back byte for byte, and a board replays it to
// its end with its invariants holding after every tick.

#include "boardaccess.h"
#include "fuzzapplication.h"
#include "replay/recording.h"
#include "replay/replayboard.h"


#include <cstdio>
#include <cstdlib>

using A = BoardAccess;

namespace {

[[noreturn]] void fail(const char* what, const QString& detail = QString())
{
    std::fprintf(stderr, "fuzz_replay: %s %s\n", what, qPrintable(detail));
    std::abort();
}

void replay(const QByteArray& bytes)
{
    QString why;
    const std::optional<Recording> recording = Recording::fromBytes(bytes, &why);
    if (!recording) {
        if (why.isEmpty())
            fail("refused without a reason");
        return;
    }
    // A file of this version is written back as it was; an older one as this
    // version, which reads back to the same.
    const QByteArray written = recording->toBytes();
    const bool current = quint8(bytes[8]) == Recording::Version && bytes[9] == 0;
    if (current ? written != bytes : Recording::fromBytes(written, nullptr)->toBytes() != written)
        fail("written back differently");
    ReplayBoard board(*recording, Pictures::blank(recording->start().sizes));
    qint64 ticks = 0;
    while (board.stepReplay()) {
        if (++ticks > recording->ticks())
            fail("more ticks than recorded");
        const QString broken = A::brokenInvariant(board);
        if (!broken.isEmpty())
            fail("after a tick:", broken);
    }
    if (!board.replayIsOver())
        fail("stopped before its end");
    if (board.replayMismatch().isEmpty() && board.replayedGameEnded() != recording->isFinished())
        fail("ended otherwise than recorded, unsaid");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzApplication::start("fuzz_replay");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    replay(bytes);
    if (bytes.size() >= 4) {
        bytes.chop(4);
        const quint32 sum = Recording::checksum(bytes);
        for (int i = 0; i < 4; ++i)
            bytes.append(char((sum >> (8 * i)) & 0xFF));
        replay(bytes);
    }
    return 0;
}
