#include "board/board.h"

#include "platform/resource.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char* ImageDir = "marlovex";
// Where a desktop build finds the pictures, relative to the working directory.
constexpr const char* DesktopRoot = "ipk/opt/QtPalmtop/pics";

} // namespace

Board::Board(QWidget* parent, const char* name, Qt::WindowFlags f)
    : QWidget(parent, f)
{
    if (name)
        setObjectName(QString::fromLatin1(name));

    for (int i = 0; i < int(waterPix.size()); ++i)
        waterPix[i] = loadImage(qPrintable(QString::asprintf("water%d", i + 1)));
    skyPix = loadImage("sky");
    destroyerPix = loadImage("destroyer");
    livesPix = loadImage("lives");
    subPix = loadImage("sub");
    bombPix = loadImage("bomb");
}

QPixmap Board::loadImage(const char* name)
{
    // An X11 session means a desktop build: the pictures lie in the package tree
    // below the working directory instead of the handheld's resources.
    if (!std::getenv("XAUTHORITY"))
        return Resource::loadPixmap(QString::asprintf("%s/%s", ImageDir, name));

    const QString path = QString::asprintf("%s/%s/%s.png", DesktopRoot, ImageDir, name);
    QPixmap pixmap;
    if (!pixmap.load(path)) {
        std::printf("Couldn't load %s\n", qPrintable(path));
        std::fflush(stdout);
    }
    return pixmap;
}
