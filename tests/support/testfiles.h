#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArray>
#include <QString>

// Files as bytes, and recordings' bytes edited by hand.
namespace TestFiles {

// The file's bytes; empty when it cannot be read.
QByteArray read(const QString& path);
bool write(const QString& path, const QByteArray& bytes);
// A recording's bytes with the checksum that ends them made right again.
QByteArray withChecksum(QByteArray bytes);

} // namespace TestFiles

#endif
