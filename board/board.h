#ifndef BOARD_H
#define BOARD_H

#include <QPixmap>
#include <QWidget>

#include <array>

class Board : public QWidget
{
    Q_OBJECT

public:
    explicit Board(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {});

    // Finds a picture by its base name ("sky", "water3"). Uses no board state.
    static QPixmap loadImage(const char* name);

private:
    friend struct BoardAccess;

    std::array<QPixmap, 8> waterPix;
    QPixmap skyPix;
    QPixmap subPix;
    QPixmap destroyerPix;
    QPixmap bombPix;
    QPixmap livesPix;
};

#endif
