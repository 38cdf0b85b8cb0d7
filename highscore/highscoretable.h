#ifndef HIGHSCORETABLE_H
#define HIGHSCORETABLE_H

#include "highscore/playername.h"
#include "platform/config.h"

#include <QList>

#include <array>
#include <optional>
#include <functional>
#include <memory>
#include <utility>

class QTimer;
class QWidget;

// The ten best names and scores, kept in the settings store between runs.
// Index 0 is place 1.
class HighScoreTable : public Config
{
public:
    static constexpr int Places = 10;

    HighScoreTable(QWidget* parent, const char* name);
    ~HighScoreTable() override;

    void save();
    // Brings the file up to date now: the list on disk, with the entries another
    // copy of the game wrote meanwhile, and this copy's changes since it last
    // wrote, one copy at a time. False, with why in writeError(), when the file
    // could not be written; nothing is written while another copy holds the
    // list, and this copy's changes are tried again a little later.
    bool sync();
    // failure: why a new entry could not be saved, said below the list.
    void showList(const QString& failure = QString());
    // A line said below the list when it is shown, as text; none when it
    // gives nothing (where the last game stands in the world).
    std::function<QString()> standing;
    // Told each name the player types for a place.
    std::function<void(const QString&)> nameTyped;
    // The score earns a place: it is at least the tenth place's.
    bool qualifies(int score) const;
    // A game just ended with this score: if it earns a place, the entry goes
    // into the file at once with no name, before any box of the game's end.
    void enterScore(int score);
    // Offers the score a place: if it earns one, enters it unless that was done
    // already, asks for the player's name, writes that too and shows the list.
    void checkScore(int score);
    // How many characters of a name the list shows at most.
    static constexpr int ShownNameLength = PlayerName::ShownLength;
    // A name as the list shows it: line breaks and other control characters as
    // spaces, cut to ShownNameLength characters.
    static QString shownName(const QString& name);

    using Entry = std::pair<QString, int>;
    // The ten places, best first.
    QList<Entry> entries() const;
    // Called after each write of the file, while other copies still wait for
    // it, with the list as written and the place of the entry this copy last
    // inserted or named in it (-1: none in this write, or it earned no place).
    std::function<void(const QList<Entry>& list, int ownPlace)> afterWrite;

private:
    friend struct HighScoreAccess;
    // What this copy did to the list since it last wrote it: an entry inserted,
    // or the name filled into the entry it inserted without one.
    struct Change {
        QString name;
        int score = 0;
        bool naming = false;
    };

    void setEntries(const QList<Entry>& list);
    static QList<Entry> readList(const Config& store);
    // Every place has its name and its score.
    static bool complete(const Config& store);
    // Applies a change of this copy's to a list; an insert remembers which of
    // the entries with its score is this copy's, the naming fills in that one.
    void apply(QList<Entry>& list, const Change& change);
    void change(const Change& c);
    // Where the entry this copy inserted last is now, -1 when it is gone.
    static int placeOf(const QList<Entry>& list, int score, int rank);
    void takeInTheFile();
    void keepUnreadableFile();
    void keepIncompleteFile(const Config& store);

    std::array<QString, Places> names;
    std::array<int, Places> scores{};
    QWidget* parentWidget;
    QList<Change> unsaved;
    std::optional<int> entered; // a score entered without its name yet
    // Which of the entries with its score the entry this copy inserted last
    // is, counted from the top: entries of an equal score go in below it, so
    // the count above it never changes while it is in the list.
    int ownRank = -1;
    std::unique_ptr<QTimer> retry; // for changes that waited for the lock
};

#endif
