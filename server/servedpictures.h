#ifndef SERVEDPICTURES_H
#define SERVEDPICTURES_H

#include <QByteArray>
#include <QHash>
#include <QSize>
#include <QString>

// The game's own pictures as the watch page asks for them: each as the game
// is built with it, and those the rules read also drawn at another size, as
// a replay on the screen draws them (pixel art stays pixel art: every pixel
// is the source's nearest). Only PNG's own library, no toolkit of pictures.
class ServedPictures
{
public:
    // From the files the server is built with.
    ServedPictures();

    // A picture by its base name ("sky", "water3"), as PNG; empty when there
    // is no such picture.
    QByteArray png(const QString& name) const;
    // One the rules read ("destroyer", "sub", "bomb") at this size, as PNG;
    // empty for any other, or a size no larger than zero.
    QByteArray png(const QString& name, QSize size) const;
    // Whether the rules read this picture's size.
    static bool isSized(const QString& name);

private:
    struct Picture {
        QByteArray png;
        QSize size;
        QByteArray rgba; // four bytes a pixel, row by row
    };
    QHash<QString, Picture> pictures;
};

#endif
