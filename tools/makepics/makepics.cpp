// Paints the game's thirteen pictures and its desktop icons.
//
//   makepics <picture folder>            writes water1..8, sky, destroyer, lives, sub, bomb
//   makepics --icons <folder>            writes marlovex-48.png and marlovex-192.png
//   makepics --sheet <file.png>          a contact sheet at 3x, with a sample scene, for review
//
// Everything is computed from fixed grids and integer-seeded formulas, so every run
// produces the same pixels.

#include "board/rules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

namespace {

// The pictures fill the board's field: the sky above the sea, the sea below.
constexpr int FieldWidth = Rules::FieldWidth;
constexpr int SkyHeight = Rules::WaterY;
constexpr int WaterHeight = Rules::FieldHeight - Rules::WaterY;
constexpr int WaterFrames = Rules::WaterFrames;
constexpr double Pi = 3.14159265358979323846;

using Grid = std::vector<const char*>;
using Palette = std::map<char, QRgb>;

// Shared by the ships and the bomb so that they read as one set.
const Palette Steel = {
    {'K', qRgb(0x1c, 0x22, 0x28)}, // outline
    {'D', qRgb(0x47, 0x52, 0x5c)}, // shadowed steel
    {'G', qRgb(0x73, 0x80, 0x8c)}, // steel
    {'L', qRgb(0xa8, 0xb4, 0xbe)}, // lit steel
    {'H', qRgb(0xdc, 0xe4, 0xea)}, // deck edge catching the sun
    {'W', qRgb(0x1b, 0x36, 0x55)}, // dark glass
    {'w', qRgb(0x6f, 0xa8, 0xd6)}, // glass with the sky in it
    {'R', qRgb(0xb8, 0x3c, 0x32)}, // boot stripe, flag
    {'r', qRgb(0x7a, 0x27, 0x22)}, // boot stripe in shadow
    {'Y', qRgb(0xe8, 0xc2, 0x4a)}, // warning band, lit portholes
};

// The submarine is darker and greener than the destroyer, with lit portholes so
// that it still stands out against the deep water.
const Palette SubColours = {
    {'K', qRgb(0x0f, 0x14, 0x12)},
    {'D', qRgb(0x2f, 0x3a, 0x33)},
    {'G', qRgb(0x50, 0x60, 0x55)},
    {'L', qRgb(0x86, 0x98, 0x8a)},
    {'Y', qRgb(0xf4, 0xd5, 0x6a)},
};

// Bow to the right; the hull meets the water along the bottom row.
const Grid DestroyerGrid = {
    "...............K...............",
    "...............KRRR............",
    "...............KRR.............",
    "...............K...............",
    "............KKKKKKK............",
    "...............K...............",
    "..............KHK..............",
    "..............KLK..............",
    ".............KKGKK.............",
    "............KLLLLLK............",
    "............KwWwWwK............",
    ".......KKK..KGGGGGK............",
    "......KDDDK.KGGGGGK............",
    "......KRRRK.KLLLLLLK...........",
    "......KGLGK.KGWGWGWK...........",
    "......KGLGK.KGGGGGGK...........",
    "...KKKKGLGKKKGGGGGGKKKK..KKK...",
    "..KLLLLLLLLLLLLLLLLLLLLKKLLLKKK",
    ".KDDKDDGGGGGGGGGGGGGGGGKKDDDKK.",
    "KHHHHHHHHHHHHHHHHHHHHHHHHHHHHHK",
    "KLLLLLLLLLLLLLLLLLLLLLLLLLLLLLK",
    "KGGGGGGGGGGGGGGGGGGGGGGGGGGGGGK",
    "KGGGWGGGGGWGGGGGWGGGGGWGGGGGGK.",
    ".KGGGGGGGGGGGGGGGGGGGGGGGGGGGK.",
    ".KDDDDDDDDDDDDDDDDDDDDDDDDDDDK.",
    "..KRRRRRRRRRRRRRRRRRRRRRRRRRK..",
    "..KRRRRRRRRRRRRRRRRRRRRRRRRRK..",
    "...KrrrrrrrrrrrrrrrrrrrrrrrK...",
    "...KrrrrrrrrrrrrrrrrrrrrrrK....",
    "....KKKKKKKKKKKKKKKKKKKKKK.....",
};

// Mirror-symmetric: the same picture serves both directions of travel.
const Grid SubGrid = {
    "............KK............",
    "............KK............",
    "..........KKKKKK..........",
    ".........KLLLLLLK.........",
    ".........KGGGGGGK.........",
    "....KKKKKKGGGGGGKKKKKK....",
    "..KKLLLLLLLLLLLLLLLLLLKK..",
    ".KLGGGGGGGGGGGGGGGGGGGGLK.",
    "KLGGGGYGGGYGGGGYGGGYGGGGLK",
    "KGGGGGGGGGGGGGGGGGGGGGGGGK",
    ".KDDDDDDDDDDDDDDDDDDDDDDK.",
    "..KKKKKKKKKKKKKKKKKKKKKK..",
};

// A bomb, fins up, nose down.
const Grid BombGrid = {
    "K.K.K",
    "KKDKK",
    ".KDK.",
    "KLGDK",
    "KYYYK",
    "KLGDK",
    ".KKK.",
};

// The destroyer in small, one per life left; no taller than the row of icons
// above the destroyer's masthead (y 3 to 9).
const Grid LivesGrid = {
    ".......KRR......",
    "......KKKK......",
    "..KK..KwWK...KK.",
    ".KLKKKKGGKKKKLK.",
    "KHHHHHHHHHHHHHHK",
    ".KRRRRRRRRRRRRK.",
    "..KKKKKKKKKKKK..",
};

QImage fromGrid(const Grid& grid, const Palette& palette)
{
    const int height = int(grid.size());
    const int width = int(qstrlen(grid.front()));
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < height; ++y) {
        if (int(qstrlen(grid[y])) != width)
            qFatal("grid row %d is %d wide, not %d", y, int(qstrlen(grid[y])), width);
        for (int x = 0; x < width; ++x) {
            const char c = grid[y][x];
            if (c == '.')
                continue;
            const auto colour = palette.find(c);
            if (colour == palette.end())
                qFatal("grid row %d: no colour for '%c'", y, c);
            image.setPixel(x, y, colour->second);
        }
    }
    return image;
}

QRgb mix(QRgb a, QRgb b, double t)
{
    auto channel = [t](int p, int q) { return int(std::lround(p + (q - p) * t)); };
    return qRgb(channel(qRed(a), qRed(b)), channel(qGreen(a), qGreen(b)), channel(qBlue(a), qBlue(b)));
}

// 4 x 4 ordered dither threshold in [0, 1).
double bayer(int x, int y)
{
    static const int matrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    return (matrix[y & 3][x & 3] + 0.5) / 16.0;
}

// Picks one of the palette's bands for a position t in [0, 1], dithering across
// the border between two bands as a pixel artist would.
QRgb banded(const std::vector<QRgb>& bands, double t, int x, int y)
{
    const double position = std::clamp(t, 0.0, 1.0) * double(bands.size() - 1);
    const int lower = int(position);
    if (lower >= int(bands.size()) - 1)
        return bands.back();
    const double fraction = position - lower;
    return fraction > bayer(x, y) ? bands[lower + 1] : bands[lower];
}

// A small integer hash, so that the scattered details never depend on a library's
// random generator.
quint32 hash(quint32 v)
{
    v ^= v >> 16;
    v *= 0x7feb352dU;
    v ^= v >> 15;
    v *= 0x846ca68bU;
    v ^= v >> 16;
    return v;
}

QImage paintSky()
{
    const std::vector<QRgb> bands = {qRgb(0x78, 0xb6, 0xe4), qRgb(0x8a, 0xc2, 0xea), qRgb(0x9e, 0xce, 0xf0),
                                     qRgb(0xb3, 0xda, 0xf4), qRgb(0xc7, 0xe5, 0xf8), qRgb(0xda, 0xee, 0xfa)};
    QImage sky(FieldWidth, SkyHeight, QImage::Format_RGB32);
    for (int y = 0; y < SkyHeight; ++y)
        for (int x = 0; x < FieldWidth; ++x)
            sky.setPixel(x, y, banded(bands, y / double(SkyHeight - 1), x, y));

    // Clouds stay below row 14, clear of the score and the icons in the top rows.
    struct Puff { int cx, cy, r; };
    const std::vector<std::vector<Puff>> clouds = {
        {{22, 25, 5}, {30, 22, 7}, {39, 25, 5}, {46, 27, 3}},
        {{150, 29, 4}, {157, 26, 6}, {166, 27, 5}, {173, 30, 3}},
        {{206, 20, 4}, {212, 18, 5}, {219, 21, 4}},
        {{86, 33, 3}, {92, 32, 4}, {98, 34, 3}},
    };
    const QRgb lit = qRgb(0xff, 0xff, 0xff);
    const QRgb shade = qRgb(0xe1, 0xec, 0xf6);
    for (const auto& cloud : clouds) {
        int bottom = 0;
        for (const Puff& p : cloud)
            bottom = std::max(bottom, p.cy + p.r);
        for (const Puff& p : cloud)
            for (int y = p.cy - p.r; y <= p.cy + p.r; ++y)
                for (int x = p.cx - p.r; x <= p.cx + p.r; ++x) {
                    const int dx = x - p.cx, dy = y - p.cy;
                    if (dx * dx + dy * dy > p.r * p.r + p.r / 2 || y < 14 || y >= SkyHeight)
                        continue;
                    sky.setPixel(x, y, y >= bottom - 2 ? shade : lit);
                }
    }
    return sky;
}

// Frame k (0 to 7) of the sea. Every moving part repeats after eight frames: the
// surface waves travel a whole wavelength, the deep streaks sway back and forth.
QImage paintWater(int k)
{
    const std::vector<QRgb> bands = {qRgb(0x3f, 0x90, 0xcc), qRgb(0x38, 0x83, 0xc1), qRgb(0x31, 0x77, 0xb5),
                                     qRgb(0x2b, 0x6b, 0xa9), qRgb(0x26, 0x60, 0x9d), qRgb(0x21, 0x56, 0x91),
                                     qRgb(0x1d, 0x4c, 0x85), qRgb(0x1a, 0x44, 0x7a)};
    QImage water(FieldWidth, WaterHeight, QImage::Format_RGB32);
    for (int y = 0; y < WaterHeight; ++y)
        for (int x = 0; x < FieldWidth; ++x)
            water.setPixel(x, y, banded(bands, std::pow(y / double(WaterHeight - 1), 0.85), x, y));

    // Two wave trains running against each other: 40 px moving 5 px a frame to the
    // right, 24 px moving 3 px a frame to the left.
    auto wave = [k](int x, int row) {
        return std::sin(2 * Pi * (x - 5 * k + 7 * row) / 40.0) + 0.6 * std::sin(2 * Pi * (x + 3 * k + 11 * row) / 24.0);
    };
    const QRgb foam = qRgb(0xd6, 0xf1, 0xfd);
    const QRgb crest = qRgb(0x9c, 0xd6, 0xf4);
    const QRgb surface = qRgb(0x6c, 0xb6, 0xe6);
    for (int x = 0; x < FieldWidth; ++x) {
        const double w = wave(x, 0);
        water.setPixel(x, 0, w > 0.9 ? foam : crest);
        water.setPixel(x, 1, w > 0.3 ? crest : surface);
        water.setPixel(x, 2, w > -0.2 ? surface : water.pixel(x, 2));
    }
    // Ripples just under the surface, fading with depth.
    for (int row = 4; row <= 16; row += 3) {
        const double fade = 1.0 - (row - 4) / 16.0;
        for (int x = 0; x < FieldWidth; ++x)
            if (wave(x, row) > 1.15)
                water.setPixel(x, row, mix(water.pixel(x, row), crest, 0.45 * fade));
    }
    // Faint streaks of light in the deep water, each swaying on its own phase.
    for (quint32 i = 0; i < 70; ++i) {
        const quint32 h = hash(i + 1);
        const int y = 20 + int(h % 200);
        const int length = 5 + int((h >> 8) % 14);
        const int x0 = int((h >> 16) % FieldWidth);
        const double phase = 2 * Pi * ((h >> 24) % 8) / 8.0;
        const int sway = int(std::lround(3 * std::sin(2 * Pi * k / WaterFrames + phase)));
        const double strength = 0.16 * (1.0 - y / double(WaterHeight) * 0.6);
        for (int j = 0; j < length; ++j) {
            const int x = ((x0 + sway + j) % FieldWidth + FieldWidth) % FieldWidth;
            water.setPixel(x, y, mix(water.pixel(x, y), crest, strength));
        }
    }
    return water;
}

QImage scaled(const QImage& image, int factor)
{
    return image.scaled(image.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

struct Pictures {
    std::vector<std::pair<QString, QImage>> list;
    const QImage& operator[](const QString& name) const
    {
        for (const auto& entry : list)
            if (entry.first == name)
                return entry.second;
        qFatal("no picture %s", qPrintable(name));
    }
};

Pictures paintAll()
{
    Pictures pictures;
    for (int k = 0; k < WaterFrames; ++k)
        pictures.list.emplace_back(QStringLiteral("water%1").arg(k + 1), paintWater(k));
    pictures.list.emplace_back(QStringLiteral("sky"), paintSky());
    pictures.list.emplace_back(QStringLiteral("destroyer"), fromGrid(DestroyerGrid, Steel));
    pictures.list.emplace_back(QStringLiteral("lives"), fromGrid(LivesGrid, Steel));
    pictures.list.emplace_back(QStringLiteral("sub"), fromGrid(SubGrid, SubColours));
    pictures.list.emplace_back(QStringLiteral("bomb"), fromGrid(BombGrid, Steel));
    return pictures;
}

// The game's field as a player sees it: the frame layering of the board, drawn
// here with fixed positions so the pictures can be judged together.
QImage sampleScene(const Pictures& p, int waterFrame)
{
    QImage field(FieldWidth, SkyHeight + WaterHeight, QImage::Format_RGB32);
    QPainter painter(&field);
    painter.drawImage(0, 0, p["sky"]);
    painter.drawImage(0, 40, p[QStringLiteral("water%1").arg(waterFrame + 1)]);
    painter.drawImage(105, 10, p["destroyer"]);
    for (int i = 0; i < 3; ++i)
        painter.drawImage(92 + 19 * i, 3, p["lives"]);
    for (int i = 0; i < 2; ++i)
        painter.drawImage(240 - (i + 1) * 8, 3, p["bomb"]);
    const int depths[] = {60, 100, 140, 180, 220, 249};
    for (int i = 0; i < 6; ++i)
        painter.drawImage(12 + i * 36, depths[i], p["sub"]);
    painter.drawImage(120, 52, p["bomb"]);
    painter.drawImage(48, 236, p["bomb"]);
    painter.setPen(Qt::black);
    painter.drawText(3, 12, QStringLiteral("Score: 1234"));
    return field;
}

QImage contactSheet(const Pictures& p)
{
    constexpr int Factor = 3;
    QImage sheet(1500, 4000, QImage::Format_RGB32);
    sheet.fill(qRgb(0x80, 0x80, 0x80));
    QPainter painter(&sheet);
    painter.setPen(Qt::white);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    int x = 10, y = 20, rowHeight = 0;
    for (const auto& [name, image] : p.list) {
        const QImage big = scaled(image, Factor);
        if (x + big.width() > sheet.width()) {
            x = 10;
            y += rowHeight + 30;
            rowHeight = 0;
        }
        const QString label = QStringLiteral("%1  %2 x %3").arg(name).arg(image.width()).arg(image.height());
        painter.drawText(x, y, label);
        painter.drawImage(x, y + 6, big);
        x += std::max(big.width(), painter.fontMetrics().horizontalAdvance(label)) + 16;
        rowHeight = std::max(rowHeight, big.height() + 6);
    }
    y += rowHeight + 30;
    painter.drawText(10, y, QStringLiteral("scene, water frames 1 and 5"));
    painter.drawImage(10, y + 6, scaled(sampleScene(p, 0), Factor));
    painter.drawImage(10 + 720 + 16, y + 6, scaled(sampleScene(p, 4), Factor));
    return sheet.copy(0, 0, sheet.width(), y + 6 + 265 * Factor + 10);
}

QImage icon(const Pictures& p)
{
    QImage tile(48, 48, QImage::Format_ARGB32);
    QPainter painter(&tile);
    painter.drawImage(0, 0, p["sky"].copy(96, 4, 48, 30));
    painter.drawImage(0, 30, p["water1"].copy(96, 0, 48, 18));
    painter.drawImage(8, 0, p["destroyer"]);
    painter.drawImage(11, 35, p["sub"]);
    painter.drawImage(23, 31, p["bomb"]);
    return tile;
}

bool save(const QImage& image, const QString& path)
{
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "makepics: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // Only the contact sheet needs fonts; no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const Pictures pictures = paintAll();

    if (args.size() == 2 && args[0] == QLatin1String("--sheet"))
        return save(contactSheet(pictures), args[1]) ? 0 : 1;
    if (args.size() == 2 && args[0] == QLatin1String("--icons")) {
        QDir().mkpath(args[1]);
        const QImage tile = icon(pictures);
        return save(tile, args[1] + "/marlovex-48.png") && save(scaled(tile, 4), args[1] + "/marlovex-192.png") ? 0 : 1;
    }
    if (args.size() == 1 && !args[0].startsWith(QLatin1String("--"))) {
        QDir().mkpath(args[0]);
        for (const auto& [name, image] : pictures.list)
            if (!save(image, args[0] + '/' + name + ".png"))
                return 1;
        return 0;
    }
    std::fprintf(stderr, "usage: makepics <folder> | --icons <folder> | --sheet <file.png>\n");
    return 2;
}
