#ifndef HIGHSCORETABLE_H
#define HIGHSCORETABLE_H

#include "platform/config.h"

#include <QList>

#include <array>
#include <utility>

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
    // Brings the file up to date now: takes in the entries another copy of the
    // game wrote meanwhile, saves and writes.
    void sync();
    void showList();
    // The score earns a place: it is at least the tenth place's.
    bool qualifies(int score) const;
    // Offers the score a place: if it earns one, asks for the player's name,
    // inserts the entry, writes the file and shows the list.
    void checkScore(int score);

private:
    friend struct HighScoreAccess;
    using Entry = std::pair<QString, int>;

    QList<Entry> entries() const;
    static QList<Entry> readList(const Config& store);
    void insert(const QString& name, int score);
    void takeInOtherEntries();
    void keepUnreadableFile();

    std::array<QString, Places> names;
    std::array<int, Places> scores{};
    QWidget* parentWidget;
    // The list as this copy last read it from the file or wrote it there.
    QList<Entry> onDisk;
};

#endif
