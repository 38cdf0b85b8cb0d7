#ifndef HIGHSCORETABLE_H
#define HIGHSCORETABLE_H

#include "platform/config.h"

#include <array>

class QWidget;

// The ten best names and scores, kept in the settings store between runs.
// Index 0 is place 1.
class HighScoreTable : public Config
{
public:
    HighScoreTable(QWidget* parent, const char* name);
    ~HighScoreTable() override;

    void save();
    void showList();
    // Offers the score a place: if it earns one, asks for the player's name,
    // inserts the entry, saves and shows the list.
    void checkScore(int score);

private:
    friend struct HighScoreAccess;

    std::array<QString, 10> names;
    std::array<int, 10> scores{};
    QWidget* parentWidget;
};

#endif
