#ifndef STANDINS_H
#define STANDINS_H

#include <QByteArray>

class QTcpServer;

// Stand-ins for the scoreboard, on loopback.
namespace StandIns {

// A port nobody listens on, for now.
quint16 freePort();
// Answers every request with these bytes, then closes; false when it cannot listen.
bool answerEveryRequest(QTcpServer& standIn, const QByteArray& answer);
// An answer of this status ("201 Created") and JSON body.
QByteArray http(const QByteArray& status, const QByteArray& body);

} // namespace StandIns

#endif
