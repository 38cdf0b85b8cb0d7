#include "boardfixture.h"

#include "outputcapture.h"

#include <QImage>
#include <QPixmap>

#include <cstdlib>

BoardFixture::BoardFixture()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    rebuild();
}

BoardFixture::~BoardFixture() = default;

QString BoardFixture::settingsFile() const
{
    return home.path() + QStringLiteral("/marlovex/Marlovex.conf");
}

void BoardFixture::rebuild()
{
    OutputCapture quiet;
    b.reset();
    b = std::make_unique<Board>();
    b->pauseGame();
    output = quiet.standardOutput();
}

bool BoardFixture::spriteAt(const QImage& frame, const QPixmap& sprite, QPoint at)
{
    const QImage image = sprite.toImage().convertToFormat(QImage::Format_ARGB32);
    int matched = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const QPoint p = at + QPoint(x, y);
            if (qAlpha(pixel) < 255 || !frame.rect().contains(p))
                continue;
            if ((frame.pixel(p) & 0xffffff) != (pixel & 0xffffff))
                return false;
            ++matched;
        }
    }
    return matched > 0;
}

unsigned BoardFixture::seedFor(int direction, int depthOffset, int speedOffset)
{
    for (unsigned seed = 1;; ++seed) {
        std::srand(seed);
        const int a = std::rand() % 2, b = std::rand() % 190, c = std::rand() % 20;
        if ((direction < 0 || a == direction) && (depthOffset < 0 || b == depthOffset) && (speedOffset < 0 || c == speedOffset))
            return seed;
    }
}
