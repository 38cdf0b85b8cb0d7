#include "highscore/highscoretable.h"
#include "highscoreaccess.h"
#include "modalanswerer.h"
#include "outputcapture.h"

#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <memory>

#include <sys/wait.h>
#include <unistd.h>

namespace {

const QStringList DefaultNames = {"Ada Marvel", "Ben Grand", "Carl V. Fine", "Dora Fine", "Fairly Fine",
                                  "Not Q. Fine", "Ed Rather Poor", "Mrs. Poor", "Gus Gloomy", "Gus Gloomy"};
const QList<int> DefaultScores = {2300, 2100, 1900, 1700, 1500, 1300, 1100, 900, 700, 500};

QByteArray defaultFile()
{
    QByteArray file = "[score]\n";
    for (int i = 0; i < HighScoreTable::Places; ++i)
        file += "P" + QByteArray::number(i) + " = " + DefaultNames[i].toUtf8() + "\n";
    for (int i = 0; i < HighScoreTable::Places; ++i)
        file += "S" + QByteArray::number(i) + " = " + QByteArray::number(DefaultScores[i]) + "\n";
    return file;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_HighScoreTable : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void firstRunWritesDefaultList();
    void laterRunReadsListBackSilently();
    void missingKeysReadAsEmptyAndMinusOne();
    void checkScore_data();
    void checkScore();
    void namesAreShownAsText_data();
    void namesAreShownAsText();
    void longNameKeepsTheListOnTheScreen();
    void unreadableListIsKeptAside_data();
    void unreadableListIsKeptAside();
    void twoCopiesKeepEachOthersEntries();
    void unchangedListKeepsItsOrder();

private:
    QString settingsFile() const { return home->path() + "/marlovex/Marlovex.conf"; }
    void writeSettings(const QByteArray& content);

    std::unique_ptr<QTemporaryDir> home;
    QWidget parent;
};

void tst_HighScoreTable::init()
{
    home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path()));
    QCoreApplication::setApplicationName(QStringLiteral("marlovex"));
}

void tst_HighScoreTable::writeSettings(const QByteArray& content)
{
    QVERIFY(QDir().mkpath(home->path() + "/marlovex"));
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void tst_HighScoreTable::firstRunWritesDefaultList()
{
    OutputCapture output;
    {
        HighScoreTable table(&parent, "Marlovex");
        for (int i = 0; i < HighScoreTable::Places; ++i) {
            QCOMPARE(HighScoreAccess::name(table, i), DefaultNames[i]);
            QCOMPARE(HighScoreAccess::score(table, i), DefaultScores[i]);
        }
    }
    QCOMPARE(output.text(), QByteArray("Generating new HighScore list\n"));
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), defaultFile());
}

void tst_HighScoreTable::laterRunReadsListBackSilently()
{
    // Written by hand in the handheld's looser spacing: read as it is, and
    // written back in full when the table closes, changed or not.
    QByteArray handheld = defaultFile().replace(" = ", "=");
    handheld.replace("P3=Dora Fine", "P3=Dora Fine ✓");
    writeSettings(handheld);
    OutputCapture output;
    {
        HighScoreTable table(&parent, "Marlovex");
        QCOMPARE(HighScoreAccess::name(table, 3), QString::fromUtf8("Dora Fine ✓"));
        QCOMPARE(HighScoreAccess::score(table, 9), 500);
    }
    QCOMPARE(output.text(), QByteArray());
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), defaultFile().replace("P3 = Dora Fine", "P3 = Dora Fine ✓"));
}

void tst_HighScoreTable::missingKeysReadAsEmptyAndMinusOne()
{
    writeSettings("[score]\nP0 = Solo\nS0 = 900\nS4 = many\n");
    HighScoreTable table(&parent, "Marlovex");
    QCOMPARE(HighScoreAccess::name(table, 0), QStringLiteral("Solo"));
    QVERIFY(HighScoreAccess::name(table, 1).isEmpty());
    QCOMPARE(HighScoreAccess::score(table, 1), -1);
    QCOMPARE(HighScoreAccess::score(table, 4), 0);   // not a number
    QCOMPARE(HighScoreAccess::score(table, 9), -1);

    // With -1 at place 10, a score of -1 already qualifies.
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::type(QString())).then(ModalAnswerer::accept());
    table.checkScore(-1);
    QCOMPARE(answerer.seen().size(), 2);
    QVERIFY(answerer.seen()[1].text.contains(QStringLiteral("<TR><TD align=\"right\">2.</TD><TD></TD><TD align=\"right\">     -1</TD></TR>")));
}

void tst_HighScoreTable::checkScore_data()
{
    QTest::addColumn<int>("score");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pressReturn");
    QTest::addColumn<int>("place"); // index of the new entry; -1: it does not qualify

    QTest::newRow("below place 10") << 499 << "" << true << -1;
    QTest::newRow("equal to place 10") << 500 << "Zoe" << true << 9;
    QTest::newRow("equal to place 6") << 1300 << "Zoe" << true << 6;
    QTest::newRow("between places 7 and 8") << 1000 << "Zoe" << true << 7;
    QTest::newRow("equal to place 1") << 2300 << "Zoe" << true << 1;
    QTest::newRow("above place 1") << 5000 << "Zoe" << true << 0;
    QTest::newRow("dismissed without Return") << 1000 << "Yuri" << false << 7;
    QTest::newRow("nothing typed") << 1000 << "" << true << 7;
}

void tst_HighScoreTable::checkScore()
{
    QFETCH(int, score);
    QFETCH(QString, typed);
    QFETCH(bool, pressReturn);
    QFETCH(int, place);

    ModalAnswerer answerer;
    HighScoreTable table(&parent, "Marlovex");
    answerer.then(ModalAnswerer::type(typed, pressReturn)).then(ModalAnswerer::accept());
    table.checkScore(score);

    QStringList names = DefaultNames;
    QList<int> scores = DefaultScores;
    if (place >= 0) {
        names.insert(place, typed);
        scores.insert(place, score);
    }
    for (int i = 0; i < HighScoreTable::Places; ++i) {
        QCOMPARE(HighScoreAccess::name(table, i), names[i]);
        QCOMPARE(HighScoreAccess::score(table, i), scores[i]);
    }
    if (place < 0) {
        QCOMPARE(answerer.seen().size(), 0);
        return;
    }
    QCOMPARE(answerer.seen().size(), 2);
    QCOMPARE(answerer.seen()[0].className, QStringLiteral("inputImpl"));
    QCOMPARE(answerer.seen()[0].objectName, QStringLiteral("input"));
    QCOMPARE(answerer.seen()[1].className, QStringLiteral("QMessageBox"));
    QVERIFY(answerer.seen()[1].text.startsWith(
        QStringLiteral("<center><b>HighScores</b></center><br><TABLE CELLSPACING=\"0\" CELLPADDING=\"2\">")));
    QVERIFY(answerer.seen()[1].text.contains(QString::asprintf("<TR><TD align=\"right\">%d.</TD><TD>", place + 1)
                                              + typed + QString::asprintf("</TD><TD align=\"right\">%7d</TD></TR>", score)));

    // On disk at once, while the game still runs.
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    QVERIFY(saved.contains("P" + QByteArray::number(place) + " = " + typed.toUtf8() + "\n"));
    QVERIFY(!saved.contains("S9 = 500\n") || place == 9 || score < 500);
}

void tst_HighScoreTable::namesAreShownAsText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("image markup") << "<img src=\"/etc/passwd\">" << "&lt;img src=&quot;/etc/passwd&quot;&gt;";
    QTest::newRow("bold tag") << "<b>" << "&lt;b&gt;";
    QTest::newRow("ampersand") << "Tom & Jerry" << "Tom &amp; Jerry";
    QTest::newRow("Japanese") << QString::fromUtf8("山田") << QString::fromUtf8("山田");
    QTest::newRow("Greek") << QString::fromUtf8("Ζωή") << QString::fromUtf8("Ζωή");
}

void tst_HighScoreTable::namesAreShownAsText()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    HighScoreTable table(&parent, "Marlovex");
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::type(name)).then(ModalAnswerer::accept());
    table.checkScore(3000);
    QCOMPARE(HighScoreAccess::name(table, 0), name);
    QVERIFY2(answerer.seen()[1].text.contains("<TD>" + shown + "</TD>"), qPrintable(answerer.seen()[1].text));
}

void tst_HighScoreTable::longNameKeepsTheListOnTheScreen()
{
    HighScoreTable table(&parent, "Marlovex");
    HighScoreAccess::setName(table, 0, QString(100000, QLatin1Char('W')));
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::returnAfterGrace()); // and a Return at once does not close it
    table.showList();
    QVERIFY(answerer.seen()[0].size.width() <= parent.screen()->availableGeometry().width());
    QVERIFY(answerer.seen()[0].text.contains(QStringLiteral("W…</TD><TD align=\"right\">   2300</TD>")));
}

void tst_HighScoreTable::unreadableListIsKeptAside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("keptBefore"); // a file kept from an earlier start is there
    QTest::addColumn<bool>("unreadable"); // no read permission
    QTest::newRow("damaged header") << defaultFile().replace("[score]", "[sc\x01re]") << false << false;
    QTest::newRow("lost P0 line") << defaultFile().replace("P0 = Ada Marvel\n", "") << false << false;
    QTest::newRow("kept once before") << QByteArray("\x89PNG\r\n") << true << false;
    QTest::newRow("no read permission") << defaultFile() << false << true;
}

void tst_HighScoreTable::unreadableListIsKeptAside()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, keptBefore);
    QFETCH(bool, unreadable);
    writeSettings(content);
    const QString kept = settingsFile() + (keptBefore ? ".unreadable.2" : ".unreadable");
    if (keptBefore)
        QVERIFY(QFile(settingsFile() + ".unreadable").open(QIODevice::WriteOnly));
    if (unreadable) {
        QVERIFY(QFile::setPermissions(settingsFile(), {}));
        if (geteuid() == 0) {
            // Root reads anything: open the list as a user who may not.
            const QStringList owned = {home->path(), home->path() + "/marlovex", settingsFile()};
            for (const QString& path : owned)
                QCOMPARE(chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
            const pid_t child = fork();
            if (child == 0) {
                if (setgid(65534) != 0 || setuid(65534) != 0)
                    _exit(2);
                { HighScoreTable table(&parent, "Marlovex"); }
                _exit(0);
            }
            int status = -1;
            waitpid(child, &status, 0);
            QCOMPARE(status, 0);
            QVERIFY(QFileInfo(kept).isFile());
            QCOMPARE(readFile(settingsFile()), defaultFile());
            return;
        }
    }
    QTest::ignoreMessage(QtWarningMsg, qPrintable(settingsFile() + " holds no high-score list the game can read; it is kept as " + kept));
    QTest::failOnWarning(QRegularExpression(".*"));
    {
        OutputCapture output;
        HighScoreTable table(&parent, "Marlovex");
        QCOMPARE(HighScoreAccess::name(table, 0), QStringLiteral("Ada Marvel"));
        QCOMPARE(output.standardOutput(), QByteArray("Generating new HighScore list\n"));
    }
    QCOMPARE(readFile(kept), content);
    QCOMPARE(readFile(settingsFile()), defaultFile());
    if (keptBefore)
        QCOMPARE(readFile(settingsFile() + ".unreadable"), QByteArray());
}

void tst_HighScoreTable::twoCopiesKeepEachOthersEntries()
{
    auto first = std::make_unique<HighScoreTable>(&parent, "Marlovex");
    auto second = std::make_unique<HighScoreTable>(&parent, "Marlovex");
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::type(QStringLiteral("Ann"))).then(ModalAnswerer::accept());
    answerer.then(ModalAnswerer::type(QStringLiteral("Bob"))).then(ModalAnswerer::accept());
    first->checkScore(1000);
    second->checkScore(2000); // takes in Ann as it writes Bob
    QCOMPARE(HighScoreAccess::name(*second, 8), QStringLiteral("Ann"));
    first.reset();            // left open meanwhile: takes in Bob as it closes
    second.reset();

    const QByteArray saved = readFile(settingsFile());
    for (const char* entry : {"P2 = Bob\n", "S2 = 2000\n", "P8 = Ann\n", "S8 = 1000\n", "S9 = 900\n"})
        QVERIFY2(saved.contains(entry), entry);
}

void tst_HighScoreTable::unchangedListKeepsItsOrder()
{
    QByteArray reversed = "[score]\n";
    for (int i = 0; i < HighScoreTable::Places; ++i)
        reversed += "P" + QByteArray::number(i) + " = n" + QByteArray::number(i) + "\n";
    for (int i = 0; i < HighScoreTable::Places; ++i)
        reversed += "S" + QByteArray::number(i) + " = " + QByteArray::number(100 * i) + "\n";
    writeSettings(reversed);
    {
        HighScoreTable first(&parent, "Marlovex");
        HighScoreTable second(&parent, "Marlovex");
    }
    QCOMPARE(readFile(settingsFile()), reversed);
}

QTEST_MAIN(tst_HighScoreTable)
#include "tst_highscoretable.moc"
