#ifndef PLAYERNAME_H
#define PLAYERNAME_H

#include <QString>

// A player's name as the high-score list shows it, and as the world lists it.
class PlayerName
{
public:
    // Characters of a name the list shows; the rest is cut.
    static constexpr int ShownLength = 64;
    // Line breaks and other control characters as spaces, a half of a pair
    // as the replacement character, cut to ShownLength characters.
    static QString shown(const QString& name);
};

#endif
