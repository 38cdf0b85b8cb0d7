#ifndef NATIVEPATH_H
#define NATIVEPATH_H

#include <QByteArray>
#include <QString>

// A file name is the bytes the system holds, which need not be UTF-8: the
// toolkit's own names are text, and a byte that is not UTF-8 becomes U+FFFD on
// the way in, naming another file. A name that does not survive the way in and
// out is opened once by its bytes and reached through the descriptor's own
// name, /proc/self/fd/N, which is plain text and leads to the same file.
class NativePath
{
public:
    // A name the toolkit opens as the file these bytes name; empty when there
    // is no such file (or folder) and none could be made.
    // makeFolder: a folder missing at these bytes is made first, with its
    // parents, for the owner only.
    static QString usable(const QByteArray& bytes, bool makeFolder = false);
    // The bytes as a name shown to the player: text, a byte that is not UTF-8
    // as U+FFFD.
    static QString shown(const QByteArray& bytes) { return QString::fromUtf8(bytes); }
    // The bytes survive being text.
    static bool isText(const QByteArray& bytes);
};

#endif
