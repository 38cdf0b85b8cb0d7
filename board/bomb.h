#ifndef BOMB_H
#define BOMB_H

// A falling bomb: top-left corner in pixels, and its speed downwards in pixels
// per second.
class Bomb
{
public:
    Bomb(int x, int y, float speed);

    float x;
    float y;
    float speed;
};

#endif
