#ifndef TESTENVIRONMENT_H
#define TESTENVIRONMENT_H

#include <QString>
#include <QStringList>

// Where the committed pictures are, and the names the board loads, in its order.
namespace TestEnvironment {

QString sourcePictures();
const QStringList& pictureNames();

// Copies the committed pictures to <root>/ipk/opt/QtPalmtop/pics/marlovex, the
// tree a desktop build reads below its working directory.
bool installDesktopPictures(const QString& root);

} // namespace TestEnvironment

#endif
