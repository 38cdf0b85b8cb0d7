#ifndef SUB_H
#define SUB_H

// A submarine: top-left corner in pixels, and its speed along x in pixels per
// second (negative: moving left).
class Sub
{
public:
    Sub(int x, int y, float speed);

    float x;
    float y;
    float speed;
};

#endif
