#ifndef PICTURES_H
#define PICTURES_H

#include "board/rules.h"

#include <QPixmap>

#include <array>

// The thirteen pictures a board draws with. Where they come from is decided
// here, once: the game asks for the ones the player's system has; a replay
// draws with those but plays with the sizes its recording was played with;
// the verifier has nothing to draw and plays with bare sizes.
class Pictures
{
public:
    // The handheld's picture resources, or on a desktop (XAUTHORITY set) the
    // package tree below the working directory, "Couldn't load" said for each
    // one missing there.
    static Pictures load();
    // One picture by its base name ("sky", "water3"), found as load() finds it.
    static QPixmap loadImage(const char* name);
    // Empty pictures of the sizes the rules read; nothing else.
    static Pictures blank(const Rules::Sizes& sizes);

    Rules::Sizes sizes() const { return {destroyer.size(), sub.size(), bomb.size()}; }
    // These pictures, with those the rules read drawn at the sizes given where
    // theirs differ.
    Pictures fittedTo(const Rules::Sizes& sizes) const;

    std::array<QPixmap, Rules::WaterFrames> water;
    QPixmap sky;
    QPixmap destroyer;
    QPixmap lives;
    QPixmap sub;
    QPixmap bomb;
};

#endif
