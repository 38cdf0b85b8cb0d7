#include "testenvironment.h"
#include "testpaths.h"

#include <QDir>
#include <QFile>

namespace TestEnvironment {

QString sourcePictures()
{
    return TestPaths::pictures();
}

const QStringList& pictureNames()
{
    static const QStringList names = {
        "water1", "water2", "water3", "water4", "water5", "water6", "water7", "water8",
        "sky", "destroyer", "lives", "sub", "bomb",
    };
    return names;
}

bool installDesktopPictures(const QString& root)
{
    const QString target = root + QStringLiteral("/ipk/opt/QtPalmtop/pics/marlovex");
    if (!QDir().mkpath(target))
        return false;
    for (const QString& name : pictureNames())
        if (!QFile::copy(sourcePictures() + '/' + name + ".png", target + '/' + name + ".png"))
            return false;
    return true;
}

} // namespace TestEnvironment
