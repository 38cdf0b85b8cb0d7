// marlovex-server's command line and config file: what it takes, what it
// refuses, and which of them wins.

#include "server/serversettings.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QTest>

class tst_ServerSettings : public QObject
{
    Q_OBJECT

private slots:
    void settings_data();
    void settings();
    void dealLifetime_data();
    void dealLifetime();
    void connectionLimits_data();
    void connectionLimits();
};

void tst_ServerSettings::settings_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("config"); // written to a file and given with --config when not empty
    QTest::addColumn<QString>("refused");   // a part of the error; empty when taken
    QTest::addColumn<QString>("listen");
    QTest::addColumn<QString>("database");
    QTest::addColumn<int>("burst");
    QTest::addColumn<int>("refillMilliseconds");
    QTest::addColumn<int>("requestMilliseconds");
    QTest::addColumn<int>("proxies");

    const QString home = ServerSettings::defaultDatabase();
    QTest::newRow("nothing") << QStringList() << QByteArray() << "" << "127.0.0.1:8080" << home << 20 << 100 << 10000 << 0;
    QTest::newRow("options") << QStringList{"--listen", "[::1]:9000", "--database", "sqlite:/x.sqlite"} << QByteArray() << ""
                             << "::1:9000" << "sqlite:/x.sqlite" << 20 << 100 << 10000 << 0;
    QTest::newRow("a file") << QStringList()
                            << QByteArray("[server]\nlisten = 0.0.0.0:80\ndatabase = postgresql://m@/scores\n"
                                          "[limits]\nburst = 5\nper-second = 4\nrequest-seconds = 3\n"
                                          "[proxy]\ntrusted = 127.0.0.1, ::1\n")
                            << "" << "0.0.0.0:80" << "postgresql://m@/scores" << 5 << 250 << 3000 << 2;
    QTest::newRow("options over the file") << QStringList{"--listen", "127.0.0.1:81"}
                                           << QByteArray("[server]\nlisten = 0.0.0.0:80\n") << "" << "127.0.0.1:81" << home
                                           << 20 << 100 << 10000 << 0;
    QTest::newRow("a comment") << QStringList() << QByteArray("; the defaults\n# burst = 3\n[limits]\n# none\n# burst = 4\n# a/b = c\n") << "" << "127.0.0.1:8080" << home
                               << 20 << 100 << 10000 << 0;
    // Refused, each with what was wrong.
    QTest::newRow("no port") << QStringList{"--listen", "127.0.0.1"} << QByteArray() << "--listen takes ADDRESS:PORT" << "" << "" << 0 << 0 << 0 << 0;
    QTest::newRow("port too large") << QStringList{"--listen", "127.0.0.1:65536"} << QByteArray() << "not 127.0.0.1:65536" << "" << "" << 0 << 0 << 0 << 0;
    QTest::newRow("a name, not an address") << QStringList{"--listen", "localhost:80"} << QByteArray() << "ADDRESS:PORT" << "" << "" << 0 << 0 << 0 << 0;
    QTest::newRow("unknown option") << QStringList{"--port", "80"} << QByteArray() << "port" << "" << "" << 0 << 0 << 0 << 0;
    QTest::newRow("an argument") << QStringList{"extra"} << QByteArray() << "unexpected argument extra" << "" << "" << 0 << 0 << 0 << 0;
    QTest::newRow("a misspelt key") << QStringList() << QByteArray("[limits]\nburts = 3\n") << "[limits] burts is no setting" << "" << "" << 0 << 0 << 0 << 0;
    QTest::newRow("a key out of its section") << QStringList() << QByteArray("burst = 3\n") << "burst is no setting" << "" << "" << 0 << 0 << 0 << 0;
    QTest::newRow("not a number") << QStringList() << QByteArray("[limits]\nburst = many\n") << "[limits] burst takes a whole number from 1" << "" << "" << 0 << 0 << 0 << 0;
    QTest::newRow("zero a second") << QStringList() << QByteArray("[limits]\nper-second = 0\n") << "[limits] per-second takes" << "" << "" << 0 << 0 << 0 << 0;
    QTest::newRow("a bad listen") << QStringList() << QByteArray("[server]\nlisten = 80\n") << "[server] listen takes" << "" << "" << 0 << 0 << 0 << 0;
    QTest::newRow("a bad proxy") << QStringList() << QByteArray("[proxy]\ntrusted = 127.0.0.1, gateway\n") << "gateway, which is not an address"
                                 << "" << "" << 0 << 0 << 0 << 0;
    QTest::newRow("a file not there") << QStringList{"--config", "/nonexistent/marlovex-server.conf"} << QByteArray()
                                      << "cannot read the config file /nonexistent" << "" << "" << 0 << 0 << 0 << 0;
}

void tst_ServerSettings::settings()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, config);
    QFETCH(QString, refused);
    QTemporaryDir folder;
    if (!config.isEmpty()) {
        TestFiles::write(folder.filePath("server.conf"), config);
        arguments << "--config" << folder.filePath("server.conf");
    }
    ServerSettings settings;
    const bool taken = settings.read(QStringList{"marlovex-server"} + arguments);
    if (!refused.isEmpty()) {
        QVERIFY(!taken);
        QVERIFY2(settings.error().contains(refused), qPrintable(settings.error()));
        return;
    }
    QVERIFY2(taken, qPrintable(settings.error()));
    QTEST(settings.address.toString() + ":" + QString::number(settings.port), "listen");
    QTEST(settings.database, "database");
    QTEST(settings.limits.burst, "burst");
    QTEST(settings.limits.refillMilliseconds, "refillMilliseconds");
    QTEST(settings.limits.requestMilliseconds, "requestMilliseconds");
    QTEST(int(settings.limits.proxies.size()), "proxies");
}

void tst_ServerSettings::dealLifetime_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<qint64>("hours"); // -1: refused
    QTest::newRow("a week unless set") << QByteArray() << qint64(7 * 24);
    QTest::newRow("two hours") << QByteArray("[deals]\nlifetime-hours = 2\n") << qint64(2);
    QTest::newRow("a leap year") << QByteArray("[deals]\nlifetime-hours = 8784\n") << qint64(8784);
    QTest::newRow("past it") << QByteArray("[deals]\nlifetime-hours = 8785\n") << qint64(-1);
    QTest::newRow("none") << QByteArray("[deals]\nlifetime-hours = 0\n") << qint64(-1);
}

void tst_ServerSettings::dealLifetime()
{
    QFETCH(QByteArray, config);
    QFETCH(qint64, hours);
    QTemporaryDir folder;
    TestFiles::write(folder.filePath("server.conf"), config);
    ServerSettings settings;
    const bool taken = settings.read({"marlovex-server", "--config", folder.filePath("server.conf")});
    QCOMPARE(taken, hours >= 0);
    if (taken)
        QCOMPARE(settings.limits.dealMilliseconds, hours * 60 * 60 * 1000);
    else
        QVERIFY2(settings.error().contains("[deals] lifetime-hours"), qPrintable(settings.error()));
}

void tst_ServerSettings::connectionLimits_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("value"); // -1: refused
    QTest::newRow("a /64 unless set") << QByteArray() << "ipv6-prefix" << 64;
    QTest::newRow("a /48") << QByteArray("[limits]\nipv6-prefix = 48\n") << "ipv6-prefix" << 48;
    QTest::newRow("every address") << QByteArray("[limits]\nipv6-prefix = 128\n") << "ipv6-prefix" << 128;
    QTest::newRow("past every address") << QByteArray("[limits]\nipv6-prefix = 129\n") << "ipv6-prefix" << -1;
    QTest::newRow("the whole internet") << QByteArray("[limits]\nipv6-prefix = 0\n") << "ipv6-prefix" << -1;
    QTest::newRow("a thousand unless set") << QByteArray() << "connections" << 1000;
    QTest::newRow("the shipped settings") << QByteArray("[limits]\nconnections = 1000\nconnections-per-address = 8\n")
                                          << "connections" << 1000;
    QTest::newRow("one connection") << QByteArray("[limits]\nconnections = 1\n") << "connections" << 1;
    QTest::newRow("no connection") << QByteArray("[limits]\nconnections = 0\n") << "connections" << -1;
    QTest::newRow("verifiers by the processors unless set") << QByteArray() << "verifiers" << 0;
    QTest::newRow("three verifiers") << QByteArray("[server]\nverifiers = 3\n") << "verifiers" << 3;
    QTest::newRow("no verifier") << QByteArray("[server]\nverifiers = 0\n") << "verifiers" << -1;
}

void tst_ServerSettings::connectionLimits()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, key);
    QFETCH(int, value);
    QTemporaryDir folder;
    TestFiles::write(folder.filePath("server.conf"), config);
    ServerSettings settings;
    const bool taken = settings.read({"marlovex-server", "--config", folder.filePath("server.conf")});
    QCOMPARE(taken, value >= 0);
    const QString section = key == "verifiers" ? "[server] " : "[limits] ";
    if (taken)
        QCOMPARE(key == "connections" ? settings.limits.connections
                 : key == "verifiers" ? settings.limits.verifiers
                                      : settings.limits.ipv6Prefix,
                 value);
    else
        QVERIFY2(settings.error().contains(section + key + " takes"), qPrintable(settings.error()));
}

QTEST_MAIN(tst_ServerSettings)
#include "tst_serversettings.moc"
