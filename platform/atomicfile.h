#ifndef ATOMICFILE_H
#define ATOMICFILE_H

#include <QByteArray>
#include <QString>

// Every file the game writes is written this way, as the handheld's settings
// store wrote its own: whole or not at all. The new bytes go to a file beside
// the old one, are flushed and checked, and only then take its name; on any
// failure the old file stays as it was and nothing is left beside it.
class AtomicFile
{
public:
    // False, with why in *why, when the file could not be written whole.
    static bool write(const QString& path, const QByteArray& bytes, QString* why = nullptr);
};

#endif
