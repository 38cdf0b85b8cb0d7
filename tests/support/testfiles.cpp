#include "testfiles.h"

#include "replay/recording.h"

#include <QFile>

namespace TestFiles {

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray withChecksum(QByteArray bytes)
{
    bytes.chop(4);
    const quint32 sum = Recording::checksum(bytes);
    for (int i = 0; i < 4; ++i)
        bytes.append(char((sum >> (8 * i)) & 0xFF));
    return bytes;
}

} // namespace TestFiles
