#ifndef REPLAYVERIFIER_H
#define REPLAYVERIFIER_H

#include <QByteArray>

#include <cstdio>

// marlovex --verify-replay: plays a recording through without a window, as
// fast as it goes, and says whether it comes to the score it claims.
class ReplayVerifier
{
public:
    enum Result { Matches = 0, DoesNotMatch = 1, Unreadable = 2 };

    // Unreadable, with one line on err, when the file holds no recording this
    // game reads; otherwise what the replay came to, on out. Needs no
    // application object, and opens no display.
    // fileName: the file's name as the command line gives it, bytes.
    static Result verify(const QByteArray& fileName, std::FILE* out, std::FILE* err);
};

#endif
