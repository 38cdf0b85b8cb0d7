#include "platform/nativepath.h"

#include <QFile>
#include <QHash>
#include <QMutex>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void makeFolders(const QByteArray& bytes)
{
    for (qsizetype slash = bytes.indexOf('/', 1); ; slash = bytes.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? bytes : bytes.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return;
        if (slash < 0)
            return;
    }
}

} // namespace

bool NativePath::isText(const QByteArray& bytes)
{
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

QString NativePath::usable(const QByteArray& bytes, bool makeFolder)
{
    if (isText(bytes))
        return QFile::decodeName(bytes);
    // One descriptor for each name, however often it is asked for.
    static QMutex guard;
    static QHash<QByteArray, QString> opened;
    const QMutexLocker lock(&guard);
    if (const auto known = opened.constFind(bytes); known != opened.cend())
        return *known;
    if (makeFolder)
        makeFolders(bytes);
    // O_PATH opens nothing for reading: a FIFO or a device behind the name is
    // neither waited on nor touched. The descriptor stays open for as long as
    // the program runs, which is as long as its name is used.
    const int fd = ::open(bytes.constData(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return QString();
    return *opened.insert(bytes, QStringLiteral("/proc/self/fd/%1").arg(fd));
}
