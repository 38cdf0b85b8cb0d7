#include "board/pictures.h"

#include "platform/resource.h"

#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char* ImageDir = "marlovex";
// Where a desktop build finds the pictures, relative to the working directory.
constexpr const char* DesktopRoot = "ipk/opt/QtPalmtop/pics";

QPixmap ofSize(const QPixmap& picture, QSize size)
{
    if (picture.size() == size)
        return picture;
    if (size.isEmpty())
        return QPixmap();
    if (picture.isNull()) {
        QPixmap none(size);
        none.fill(Qt::transparent);
        return none;
    }
    // Pixel art stays pixel art: no smoothing.
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace

QPixmap Pictures::loadImage(const char* name)
{
    // An X11 session means a desktop build: the pictures lie in the package tree
    // below the working directory instead of the handheld's resources.
    const QString resource = QString::asprintf("%s/%s", ImageDir, name);
    if (!std::getenv("XAUTHORITY"))
        return Resource::loadPixmap(resource);

    const QString path = QString::asprintf("%s/%s/%s.png", DesktopRoot, ImageDir, name);
    QPixmap pixmap;
    // Only a regular file: a FIFO or a device could block or never end.
    if (!QFileInfo(path).isFile() || !pixmap.load(path)) {
        std::printf("Couldn't load %s\n", qPrintable(path));
        std::fflush(stdout);
        // Started from any other folder, the game still has its own copies.
        pixmap = Resource::loadPixmap(resource);
    }
    return pixmap;
}

Pictures Pictures::load()
{
    // In the handheld's order of loading.
    Pictures p;
    for (int i = 0; i < Rules::WaterFrames; ++i)
        p.water[i] = loadImage(qPrintable(QString::asprintf("water%d", i + 1)));
    p.sky = loadImage("sky");
    p.destroyer = loadImage("destroyer");
    p.lives = loadImage("lives");
    p.sub = loadImage("sub");
    p.bomb = loadImage("bomb");
    return p;
}

Pictures Pictures::blank(const Rules::Sizes& sizes)
{
    return Pictures().fittedTo(sizes);
}

Pictures Pictures::fittedTo(const Rules::Sizes& sizes) const
{
    Pictures p = *this;
    p.destroyer = ofSize(destroyer, sizes.destroyer);
    p.sub = ofSize(sub, sizes.sub);
    p.bomb = ofSize(bomb, sizes.bomb);
    return p;
}
