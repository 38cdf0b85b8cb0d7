#ifndef SERVERSETTINGS_H
#define SERVERSETTINGS_H

#include "server/scoreserver.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

// What marlovex-server is told to do: its command line, over its config
// file, over its defaults.
class ServerSettings
{
public:
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 8080;
    QString database; // a URL: sqlite:PATH or postgresql://…
    ScoreServer::Limits limits;

    // Read from the arguments (the program's name first) and the config file
    // they name; false, with why in error(), at anything it cannot take.
    // Help asked for is in helpText().
    bool read(const QStringList& arguments);
    QString error() const { return failure; }
    QString helpText() const { return help; }

    // The database used when none is given: a file in the service's data folder.
    static QString defaultDatabase();

private:
    bool readFile(const QString& fileName);
    bool setListen(const QString& value);

    QString failure;
    QString help;
};

#endif
