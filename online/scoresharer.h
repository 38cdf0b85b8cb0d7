#ifndef SCORESHARER_H
#define SCORESHARER_H

#include "replay/recording.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkReply;

// Sends the games that end to the world's scoreboard, when the player has
// chosen to share them: each is kept first in a queue on disk, one file a
// game, and leaves it only when the scoreboard has answered it, listed or
// refused. What cannot be sent now (no network, the scoreboard down, no
// answer in time) is tried again later, oldest first: after a while, when the
// system says the network is back, and at the next start.
// The game never waits for it.
class ScoreSharer : public QObject
{
    Q_OBJECT

public:
    // The most read of an answer, and how long one may take.
    static constexpr qint64 LargestAnswer = 64 * 1024;
    static constexpr int AnswerMilliseconds = 10000;
    // The first wait before trying again; it doubles up to the longest.
    static constexpr int FirstRetryMilliseconds = 30 * 1000;
    static constexpr int LongestRetryMilliseconds = 10 * 60 * 1000;
    // A game the scoreboard fails on this many times in a row (answers of
    // 500 and above) is set aside, so that the games behind it go.
    static constexpr int FailuresBeforeSetAside = 5;

    // Where the queue is kept: below the game's data folder.
    static QString defaultFolder();
    explicit ScoreSharer(const QString& folder = defaultFolder(), QObject* parent = nullptr);

    // The scoreboard (http or https only), the name to show and whether to
    // share at all. While off, nothing is sent and nothing is queued.
    void setSharing(const QUrl& address, const QString& name, bool share);
    // Only http and https addresses with a host.
    static bool isUsable(const QUrl& address);
    // An API path ("/api/v1/…") of the scoreboard at this address.
    static QUrl endpoint(const QUrl& address, const QString& path);
    // An answer is read only so far and waited for only so long: past most
    // bytes, or once the whole exchange has taken AnswerMilliseconds (however
    // it trickles in), it is cut off, and counts as none.
    static void bound(QNetworkReply* reply, qint64 most);
    static bool wasCutOff(const QNetworkReply* reply);
    // A refusal's code in words a player reads; empty for those best said
    // in the scoreboard's own.
    static QString plainWords(const QString& code);

    // A game has just ended: queued, and sent as soon as it can be.
    void gameEnded(const Recording& game);
    // Tries the queue now, if anything waits and nothing is on its way.
    void sendWaiting();
    // How long the queue's next try was set to wait, in milliseconds; -1
    // while no try waits.
    int retryWait() const { return retry.isActive() ? retry.interval() : -1; }
    // Games in the queue.
    int waiting() const;
    // Where games the scoreboard kept failing on are set aside, kept for the
    // player; refused.txt beside the queue says why.
    QString setAsideFolder() const { return queue + QStringLiteral("/set-aside"); }
    // What became of the last game ended, in a line for the list box; empty
    // when it was not shared.
    QString standing() const { return lastStanding; }

signals:
    // The last game's standing changed, or the queue did.
    void changed();

private:
    void answered(QNetworkReply* reply, const QString& file);
    void tryLater();
    // Moves the game out of the queue; false when it cannot be moved.
    bool setAside(const QString& file, int status);
    void setStanding(const QString& file, const QString& line);

    QString queue;
    QUrl address;
    QString name;
    bool share = false;
    QNetworkAccessManager network;
    QNetworkReply* sending = nullptr;
    QTimer retry;
    int retryMilliseconds = FirstRetryMilliseconds;
    QString failing;     // the queue file the scoreboard failed on last
    int failures = 0;    // how many times in a row
    bool watchingNetwork = false;
    int made = 0;        // games queued by this run, to tell them apart
    QString lastGame;    // the queue file of the last game ended
    QString lastStanding;
};

#endif
