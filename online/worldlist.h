#ifndef WORLDLIST_H
#define WORLDLIST_H

#include "board/rules.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>

#include <array>
#include <functional>

// The world's best ten of each difficulty, as the scoreboard lists them:
// fetched when asked (the Replays menu opening), with a short time-out, the
// last list fetched kept on disk for when the scoreboard cannot be reached;
// and a listed game's recording fetched to be watched.
class WorldList : public QObject
{
    Q_OBJECT

public:
    struct Entry {
        qint64 id = 0;
        QString name;
        int score = 0;
    };
    static constexpr int Shown = 10;
    static constexpr int AnswerMilliseconds = 3000;
    static constexpr qint64 LargestList = 64 * 1024;
    static constexpr qint64 LargestRecording = 256 * 1024;

    // folder: where the last list and the fetched recordings are kept.
    static QString defaultFolder();
    explicit WorldList(const QString& folder = defaultFolder(), QObject* parent = nullptr);

    // Where to fetch from; none (an empty or unusable address) fetches nothing.
    void setAddress(const QUrl& address);
    bool isOn() const { return on; }
    // Asks the scoreboard for its lists; updated() when they come.
    void fetch();
    // The best of a difficulty, as last fetched (this run, or an earlier one).
    QList<Entry> best(int difficulty) const { return lists[std::size_t(difficulty)]; }
    // The recording of a listed game, in a file of its own; done(path, "")
    // once it is there, done("", why) otherwise.
    void download(qint64 id, const std::function<void(const QString& path, const QString& why)>& done);

signals:
    void updated();

private:
    // A GET with the time-out, its answer cut off past most bytes.
    QNetworkReply* get(const QString& path, const QString& query, qint64 most);
    void keep();
    void readKept();

    QString folder;
    QUrl address;
    bool on = false;
    QNetworkAccessManager network;
    std::array<QList<Entry>, Rules::Difficulties> lists;
};

#endif
