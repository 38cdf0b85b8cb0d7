#ifndef DEALRESERVE_H
#define DEALRESERVE_H

#include "board/sea.h"

#include <QDateTime>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <optional>

class QNetworkReply;

// A few seas dealt by the world's scoreboard, kept on disk for the games to
// come: fetched in the background while sharing is on, so that a game starts
// at once on one when one is at hand, and without one (kept at home, not sent)
// when none is. A deal is good for one game, at the scoreboard that dealt it,
// until it runs out.
class DealReserve : public QObject
{
    Q_OBJECT

public:
    // Deals kept at hand, and the most read of an answer.
    static constexpr int Kept = 3;
    static constexpr qint64 LargestAnswer = 4 * 1024;
    static constexpr int AnswerMilliseconds = 10000;
    // Before asking again after a failure.
    static constexpr int RetryMilliseconds = 60 * 1000;

    // file: where they are kept.
    static QString defaultFile();
    explicit DealReserve(const QString& file = defaultFile(), QObject* parent = nullptr);

    // The scoreboard to ask; none (an empty or unusable address) asks nothing.
    void setAddress(const QUrl& address);
    // A deal of this scoreboard's for the next game, taken from the reserve;
    // nothing when none is at hand. The reserve is filled again meanwhile.
    std::optional<Sea> take();
    // A deal taken for a game nobody played goes back, as good as before.
    void giveBack(const Sea& sea);
    // Deals at hand for the scoreboard set now.
    int atHand() const;

signals:
    // A deal came, or went.
    void changed();

private:
    struct Deal {
        QUrl address;
        Sea sea;
        QDateTime expires;
    };
    void fetch();
    void fetched(QNetworkReply* reply);
    void dropExpired();
    void read();
    void write();

    QString file;
    QUrl address;
    bool on = false;
    QList<Deal> deals;
    QList<Deal> lent; // taken for games not over yet
    QNetworkAccessManager network;
    QNetworkReply* asking = nullptr;
    QTimer retry;
};

#endif
