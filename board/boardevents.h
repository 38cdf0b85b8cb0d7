#ifndef BOARDEVENTS_H
#define BOARDEVENTS_H

// What happens in a game, told to whoever wants to follow it (the sound
// effects): the board calls these as things happen and cares for no answer.
// Each does nothing unless a listener makes it do something.
class BoardEvents
{
public:
    virtual ~BoardEvents() = default;

    virtual void bombDropped() {}
    // depth: the submarine's y, from Board::ShallowestDepth to Board::DeepestDepth.
    virtual void subDestroyed(int /*depth*/) {}
    virtual void subEscaped() {}
    virtual void gameOver() {}
    // The final score earned a place in the high-score list.
    virtual void placeEarned() {}
    // The player paused the game, or let it go on.
    virtual void paused(bool /*on*/) {}
};

#endif
