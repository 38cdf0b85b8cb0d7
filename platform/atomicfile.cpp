#include "platform/atomicfile.h"

#include <QSaveFile>

#include <cerrno>
#include <cstring>

bool AtomicFile::write(const QString& path, const QByteArray& bytes, QString* why)
{
    auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    // A short write is a full disk, and so is a file-size limit (EFBIG once
    // SIGXFSZ is ignored). Flush before committing: Qt 6.4's commit() misses a
    // write that fails while it flushes and would rename the short file over
    // the old one.
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno ? errno : ENOSPC));
        file.cancelWriting();
        file.commit(); // removes the new file, and only that
        return fail(reason);
    }
    // The commit syncs the file to the disk before it takes the old one's name.
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
