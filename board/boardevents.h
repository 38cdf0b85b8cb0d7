#ifndef BOARDEVENTS_H
#define BOARDEVENTS_H

// What happens in a game, told to whoever wants to follow it (the sound
// effects): the board calls these as things happen and cares for no answer.
class BoardEvents
{
public:
    virtual ~BoardEvents() = default;

    virtual void bombDropped() = 0;
    // depth: the submarine's y, 60 to 249.
    virtual void subDestroyed(int depth) = 0;
    virtual void subEscaped() = 0;
    virtual void gameOver() = 0;
    // The final score earned a place in the high-score list.
    virtual void placeEarned() = 0;
    // The player paused the game, or let it go on.
    virtual void paused(bool on) = 0;
};

#endif
