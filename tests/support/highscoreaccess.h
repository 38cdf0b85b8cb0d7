#ifndef HIGHSCOREACCESS_H
#define HIGHSCOREACCESS_H

#include "highscore/highscoretable.h"

// The tests' view of a high-score table's list.
struct HighScoreAccess
{
    static QString name(const HighScoreTable& t, int i) { return t.names[i]; }
    static int score(const HighScoreTable& t, int i) { return t.scores[i]; }
    static void setScore(HighScoreTable& t, int i, int score) { t.scores[i] = score; }
    static void setName(HighScoreTable& t, int i, const QString& name) { t.names[i] = name; }
    // A new entry, as at a game's end, not yet saved.
    static void insert(HighScoreTable& t, const QString& name, int score) { t.change({name, score, false}); }
    // The name typed for the entry inserted without one.
    static void fillName(HighScoreTable& t, const QString& name, int score) { t.change({name, score, true}); }
};

#endif
