#include "server/servedpictures.h"


#include <QFile>

#include <png.h>

#include <cstring>

namespace {

const char* const Names[] = {"water1", "water2", "water3", "water4", "water5", "water6", "water7",
                             "water8", "sky", "destroyer", "lives", "sub", "bomb"};

} // namespace

ServedPictures::ServedPictures()
{
    for (const char* name : Names) {
        QFile file(QStringLiteral(":/server/pics/%1.png").arg(QLatin1String(name)));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        Picture p;
        p.png = file.readAll();
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        if (png_image_begin_read_from_memory(&image, p.png.constData(), size_t(p.png.size()))) {
            image.format = PNG_FORMAT_RGBA;
            p.rgba.resize(qsizetype(PNG_IMAGE_SIZE(image)));
            if (png_image_finish_read(&image, nullptr, p.rgba.data(), 0, nullptr))
                p.size = QSize(int(image.width), int(image.height));
            else
                p.rgba.clear();
        }
        png_image_free(&image);
        pictures.insert(QLatin1String(name), p);
    }
}

bool ServedPictures::isSized(const QString& name)
{
    return name == QLatin1String("destroyer") || name == QLatin1String("sub") || name == QLatin1String("bomb");
}

QByteArray ServedPictures::png(const QString& name) const
{
    return pictures.value(name).png;
}

QByteArray ServedPictures::png(const QString& name, QSize size) const
{
    const auto found = pictures.constFind(name);
    if (!isSized(name) || found == pictures.cend() || size.isEmpty() || found->size.isEmpty())
        return QByteArray();
    if (size == found->size)
        return found->png;
    // Each pixel the source's whose centre is nearest the centre of its own.
    const QSize from = found->size;
    QByteArray rgba(qsizetype(size.width()) * size.height() * 4, Qt::Uninitialized);
    for (int y = 0; y < size.height(); ++y) {
        const qint64 sy = (qint64(2 * y + 1) * from.height()) / (2LL * size.height());
        for (int x = 0; x < size.width(); ++x) {
            const qint64 sx = (qint64(2 * x + 1) * from.width()) / (2LL * size.width());
            std::memcpy(rgba.data() + (qsizetype(y) * size.width() + x) * 4,
                        found->rgba.constData() + (sy * from.width() + sx) * 4, 4);
        }
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(size.width());
    image.height = png_uint_32(size.height());
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t bytes = 0;
    if (!png_image_write_to_memory(&image, nullptr, &bytes, 0, rgba.constData(), 0, nullptr)) {
        png_image_free(&image);
        return QByteArray();
    }
    QByteArray out(qsizetype(bytes), Qt::Uninitialized);
    const bool written = png_image_write_to_memory(&image, out.data(), &bytes, 0, rgba.constData(), 0, nullptr);
    png_image_free(&image);
    if (!written)
        return QByteArray();
    out.truncate(qsizetype(bytes));
    return out;
}
