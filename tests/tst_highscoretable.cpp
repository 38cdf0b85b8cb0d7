#include "highscore/highscoretable.h"
#include "highscoreaccess.h"
#include "modalanswerer.h"
#include "outputcapture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

#include <csignal>
#include <sys/resource.h>
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

// The list as the file holds it, place by place.
QList<std::pair<QString, int>> listOnDisk(const QString& path)
{
    Config file(path, Config::File);
    file.setGroup(QStringLiteral("score"));
    QList<std::pair<QString, int>> list;
    for (int i = 0; i < HighScoreTable::Places; ++i)
        list.append({file.readEntry(QString::asprintf("P%d", i)), file.readNumEntry(QString::asprintf("S%d", i))});
    return list;
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
    void scoreIsOnDiskBeforeTheName();
    void killedDuringTheNameKeepsTheScore();
    void anotherCopyMergingMeanwhileKeepsOneEntry();
    void entryThatEarnsNoPlaceOnDiskIsDropped();
    void equalScoresKeepTheirOrderAcrossCopies();
    void equalScoresNamedOutOfOrderKeepTheirPlaces_data();
    void equalScoresNamedOutOfOrderKeepTheirPlaces();
    void aNameInTheFileIsNeverWrittenOver();
    void twoProcessesSavingAtOnceKeepBoth();
    void listDamagedWhileRunningIsKeptAside();
    void failedSaveIsSaidInTheList();
    void lockHeldLongerThanTheWaitWritesNothingUntilFree();
    void shownName_data();
    void shownName();
    void namesNeverBreakTheBox_data();
    void namesNeverBreakTheBox();
    void placesLackingEntriesAreReadAndKept_data();
    void placesLackingEntriesAreReadAndKept();
    void nameNotInUtf8KeepsItsBytes();
    void danglingLinkIsNoFreeName();
    void emptyFileIsAFirstRun();

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
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("lacks names or scores"));
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
    QStringList told; // the names typed, as the window hears of them
    table.nameTyped = [&told](const QString& name) { told << name; };
    table.checkScore(score);
    QCOMPARE(told, place >= 0 && !typed.isEmpty() ? QStringList{typed} : QStringList());

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

void tst_HighScoreTable::scoreIsOnDiskBeforeTheName()
{
    HighScoreTable table(&parent, "Marlovex");
    QList<std::pair<QString, int>> whileAsked;
    ModalAnswerer answerer;
    answerer.then([&](QDialog* dialog) {
        // A display gone or a SIGKILL now would find this on disk.
        whileAsked = listOnDisk(settingsFile());
        ModalAnswerer::type(QStringLiteral("Ann"))(dialog);
    });
    answerer.then(ModalAnswerer::accept());
    table.checkScore(2000);
    QCOMPARE(whileAsked.value(2), std::make_pair(QString(), 2000));
    QCOMPARE(listOnDisk(settingsFile()).value(2), std::make_pair(QStringLiteral("Ann"), 2000));
    QCOMPARE(listOnDisk(settingsFile()).value(9).second, 700);
}

void tst_HighScoreTable::killedDuringTheNameKeepsTheScore()
{
    { HighScoreTable table(&parent, "Marlovex"); }
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // A game just over: the name dialog waits for a player who never comes.
        HighScoreTable table(&parent, "Marlovex");
        table.checkScore(3000);
        _exit(0);
    }
    int status = 0;
    // Killed whatever happens, so that no dialog outlives the test.
    auto killed = qScopeGuard([&] {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    });
    QTRY_COMPARE_WITH_TIMEOUT(listOnDisk(settingsFile()).value(0).second, 3000, 10000);
    killed.dismiss();
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    QVERIFY(WIFSIGNALED(status));
    QCOMPARE(listOnDisk(settingsFile()).value(0), std::make_pair(QString(), 3000));
    QCOMPARE(listOnDisk(settingsFile()).value(1), std::make_pair(QStringLiteral("Ada Marvel"), 2300));
}

void tst_HighScoreTable::anotherCopyMergingMeanwhileKeepsOneEntry()
{
    auto first = std::make_unique<HighScoreTable>(&parent, "Marlovex");
    auto second = std::make_unique<HighScoreTable>(&parent, "Marlovex");
    ModalAnswerer answerer;
    answerer.then([&](QDialog* dialog) {
        // The other copy saves an equal score while this one asks for the
        // name, taking in the entry without it.
        HighScoreAccess::insert(*second, QStringLiteral("Bob"), 1000);
        QVERIFY(second->sync());
        ModalAnswerer::type(QStringLiteral("Ann"))(dialog);
    });
    answerer.then(ModalAnswerer::accept());
    first->checkScore(1000);
    second.reset();
    first.reset();
    const auto list = listOnDisk(settingsFile());
    QCOMPARE(list.value(7), std::make_pair(QStringLiteral("Ann"), 1000));
    QCOMPARE(list.value(8), std::make_pair(QStringLiteral("Bob"), 1000));
    QCOMPARE(list.value(9).second, 900);
}

void tst_HighScoreTable::entryThatEarnsNoPlaceOnDiskIsDropped()
{
    HighScoreTable first(&parent, "Marlovex");
    {
        // Meanwhile another copy fills the list with better scores.
        HighScoreTable second(&parent, "Marlovex");
        for (int i = 0; i < HighScoreTable::Places; ++i)
            HighScoreAccess::setScore(second, i, 9000 - i);
        QVERIFY(second.sync());
    }
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::type(QStringLiteral("Late"))).then(ModalAnswerer::accept());
    first.checkScore(600); // a place in this copy's list, none in the file's
    QCOMPARE(HighScoreAccess::score(first, 9), 8991);
    QCOMPARE(listOnDisk(settingsFile()).value(9).second, 8991);
}

void tst_HighScoreTable::equalScoresKeepTheirOrderAcrossCopies()
{
    auto first = std::make_unique<HighScoreTable>(&parent, "Marlovex");
    auto second = std::make_unique<HighScoreTable>(&parent, "Marlovex");
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::type(QStringLiteral("Ann"))).then(ModalAnswerer::accept());
    answerer.then(ModalAnswerer::type(QStringLiteral("Bob"))).then(ModalAnswerer::accept());
    first->checkScore(1000);
    second->checkScore(1000); // later, so below Ann
    for (int round = 0; round < 3; ++round) {
        QVERIFY(first->sync());
        QVERIFY(second->sync());
        const auto list = listOnDisk(settingsFile());
        QCOMPARE(list.value(7).first, QStringLiteral("Ann"));
        QCOMPARE(list.value(8).first, QStringLiteral("Bob"));
    }
}

void tst_HighScoreTable::equalScoresNamedOutOfOrderKeepTheirPlaces_data()
{
    QTest::addColumn<bool>("firstNamesFirst");
    QTest::addColumn<int>("higherMeanwhile"); // a better score entered by a third copy before the names
    QTest::newRow("first names first") << true << 0;
    QTest::newRow("second names first") << false << 0;
    QTest::newRow("first names first, pushed down") << true << 5000;
}

void tst_HighScoreTable::equalScoresNamedOutOfOrderKeepTheirPlaces()
{
    QFETCH(bool, firstNamesFirst);
    QFETCH(int, higherMeanwhile);
    // Both games end with the same score before either player types a name:
    // each copy's entry is on disk without one, the first copy's above.
    auto first = std::make_unique<HighScoreTable>(&parent, "Marlovex");
    auto second = std::make_unique<HighScoreTable>(&parent, "Marlovex");
    first->enterScore(1000);
    second->enterScore(1000);
    if (higherMeanwhile) {
        HighScoreTable third(&parent, "Marlovex");
        HighScoreAccess::insert(third, QStringLiteral("Cy"), higherMeanwhile);
        QVERIFY(third.sync());
    }
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::type(firstNamesFirst ? QStringLiteral("Ann") : QStringLiteral("Bob")))
        .then(ModalAnswerer::accept());
    answerer.then(ModalAnswerer::type(firstNamesFirst ? QStringLiteral("Bob") : QStringLiteral("Ann")))
        .then(ModalAnswerer::accept());
    if (firstNamesFirst) {
        first->checkScore(1000);
        second->checkScore(1000);
    } else {
        second->checkScore(1000);
        first->checkScore(1000);
    }
    const int ann = higherMeanwhile ? 8 : 7;
    const auto list = listOnDisk(settingsFile());
    QCOMPARE(list.value(ann), std::make_pair(QStringLiteral("Ann"), 1000));
    QCOMPARE(list.value(ann + 1), std::make_pair(QStringLiteral("Bob"), 1000));
}

void tst_HighScoreTable::aNameInTheFileIsNeverWrittenOver()
{
    // The list was put back by hand while the name was asked for: the place
    // this copy's entry had holds a name already, which stays.
    auto table = std::make_unique<HighScoreTable>(&parent, "Marlovex");
    table->enterScore(1000);
    QByteArray file = defaultFile();
    file.replace("P7 = Mrs. Poor\n", "P7 = Kim\n").replace("S7 = 900\n", "S7 = 1000\n");
    writeSettings(file);
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::type(QStringLiteral("Ann"))).then(ModalAnswerer::accept());
    table->checkScore(1000);
    const auto list = listOnDisk(settingsFile());
    QCOMPARE(list.value(7), std::make_pair(QStringLiteral("Kim"), 1000));
    for (const auto& entry : list)
        QVERIFY(entry.first != QStringLiteral("Ann"));
}

void tst_HighScoreTable::twoProcessesSavingAtOnceKeepBoth()
{
    { HighScoreTable table(&parent, "Marlovex"); }
    // Each adds 30 ever better scores, saving after each, as fast as it can;
    // with read, merge and write one copy at a time none is lost.
    constexpr int Rounds = 30;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        QVERIFY(children[c] >= 0);
        if (children[c] == 0) {
            {
                HighScoreTable table(&parent, "Marlovex");
                for (int k = 0; k < Rounds; ++k) {
                    HighScoreAccess::insert(table, QStringLiteral("c%1k%2").arg(c).arg(k), 10000 + 2 * k + c);
                    table.sync();
                }
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = -1;
        waitpid(child, &status, 0);
        QCOMPARE(status, 0);
    }
    const auto list = listOnDisk(settingsFile());
    for (int i = 0; i < HighScoreTable::Places; ++i)
        QCOMPARE(list.value(i).second, 10000 + 2 * Rounds - 1 - i);
}

void tst_HighScoreTable::listDamagedWhileRunningIsKeptAside()
{
    HighScoreTable table(&parent, "Marlovex");
    QVERIFY(table.sync());
    writeSettings("\x89PNG damaged meanwhile");
    QTest::ignoreMessage(QtWarningMsg, qPrintable(settingsFile() + " holds no high-score list the game can read; it is kept as "
                                                  + settingsFile() + ".unreadable"));
    QVERIFY(table.sync());
    QCOMPARE(readFile(settingsFile() + ".unreadable"), QByteArray("\x89PNG damaged meanwhile"));
    QCOMPARE(readFile(settingsFile()), defaultFile());
}

void tst_HighScoreTable::shownName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units
    const int most = HighScoreTable::ShownNameLength;
    QTest::newRow("cut inside a pair: the pair goes") << QString(most - 1, 'a') + face + "b" << QString(most - 1, 'a');
    QTest::newRow("a pair just fitting stays") << QString(most - 2, 'a') + face + "b" << QString(most - 2, 'a') + face;
    QTest::newRow("a lone half of a pair") << QStringLiteral("a") + face.left(1) + "b" << QStringLiteral("a\uFFFDb");
    QTest::newRow("line and paragraph breaks, tabs") << QStringLiteral("a\nb\u2029c\td") << QStringLiteral("a b c d");
}

void tst_HighScoreTable::shownName()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QCOMPARE(HighScoreTable::shownName(name), shown);
}

void tst_HighScoreTable::failedSaveIsSaidInTheList()
{
    HighScoreTable table(&parent, "Marlovex");
    QVERIFY(table.sync());
    const QByteArray before = readFile(settingsFile());
    // As the game runs: a file-size limit fails the write instead of ending it.
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not save .*: File too large$"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not save .*: File too large$"));
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::type(QStringLiteral("Ann"))).then(ModalAnswerer::accept());
    table.checkScore(3000);
    setrlimit(RLIMIT_FSIZE, &saved);
    QCOMPARE(answerer.seen().size(), 2);
    QVERIFY2(answerer.seen()[1].text.endsWith("</TABLE><br>Your entry could not be saved: File too large"),
             qPrintable(answerer.seen()[1].text.right(80)));
    QCOMPARE(readFile(settingsFile()), before);
    // The entry waits, and goes in with the next write that can be made.
    QVERIFY(table.sync());
    QCOMPARE(listOnDisk(settingsFile()).value(0), std::make_pair(QStringLiteral("Ann"), 3000));
}

void tst_HighScoreTable::lockHeldLongerThanTheWaitWritesNothingUntilFree()
{
    HighScoreTable table(&parent, "Marlovex");
    QVERIFY(table.sync());
    const QByteArray before = readFile(settingsFile());
    // Another copy, alive, holds the list longer than this one waits.
    auto other = std::make_unique<QLockFile>(settingsFile() + ".lock");
    QVERIFY(other->tryLock(0));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not save .*: another copy of the game holds the list"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not save .*: another copy of the game holds the list"));
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::type(QStringLiteral("Ann"))).then(ModalAnswerer::accept());
    table.checkScore(3000);
    QCOMPARE(answerer.seen().size(), 2);
    QVERIFY2(answerer.seen()[1].text.contains("Your entry could not be saved: another copy of the game holds the list"),
             qPrintable(answerer.seen()[1].text.right(80)));
    QCOMPARE(readFile(settingsFile()), before);
    // Once it lets go, the entry goes in, name and all.
    other.reset();
    QTRY_VERIFY_WITH_TIMEOUT(readFile(settingsFile()).contains("P0 = Ann\n"), 10000);
    QVERIFY(readFile(settingsFile()).contains("S0 = 3000\n"));
}

void tst_HighScoreTable::namesNeverBreakTheBox_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("200 paragraph separators") << QString(200, QChar(0x2029));
    QTest::newRow("line separators between words") << (QStringLiteral("a") + QChar(0x2028)).repeated(100);
    QTest::newRow("line feeds") << QStringLiteral("x\n").repeated(100);
    QTest::newRow("a letter and 20 000 accents") << QStringLiteral("e") + QString(20000, QChar(0x0301));
    QTest::newRow("100 000 zero-width spaces") << QString(100000, QChar(0x200b));
}

void tst_HighScoreTable::namesNeverBreakTheBox()
{
    QFETCH(QString, name);
    {
        HighScoreTable table(&parent, "Marlovex");
        HighScoreAccess::setName(table, 0, name);
        ModalAnswerer answerer;
        answerer.then(ModalAnswerer::accept());
        table.showList();
        const QString shown = answerer.seen().value(0).text;
        const int cell = shown.indexOf("<TD>") + 4;
        const QString cellText = shown.mid(cell, shown.indexOf("</TD>", cell) - cell);
        QVERIFY2(cellText.size() <= HighScoreTable::ShownNameLength + 1, qPrintable(QString::number(cellText.size())));
        for (QChar c : cellText)
            QVERIFY(c != QChar(0x2028) && c != QChar(0x2029) && c != QLatin1Char('\n'));
        QVERIFY(answerer.seen()[0].size.height() <= parent.screen()->availableGeometry().height());
    }
    // The file keeps the name as it is.
    QCOMPARE(listOnDisk(settingsFile()).value(0).first, name);
}

void tst_HighScoreTable::placesLackingEntriesAreReadAndKept_data()
{
    QTest::addColumn<QByteArray>("content");
    QByteArray noScores = "[score]\n";
    for (int i = 0; i < HighScoreTable::Places; ++i)
        noScores += "P" + QByteArray::number(i) + " = " + DefaultNames[i].toUtf8() + "\n";
    QTest::newRow("names but no scores") << noScores;
    QTest::newRow("one name missing") << defaultFile().replace("P4 = Fairly Fine\n", "");
    QTest::newRow("one score missing") << defaultFile().replace("S9 = 500\n", "");
}

void tst_HighScoreTable::placesLackingEntriesAreReadAndKept()
{
    QFETCH(QByteArray, content);
    writeSettings(content);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(settingsFile() + " lacks names or scores of some places, which the game "
                                                  "reads as empty and -1; the file as it was is kept as " + settingsFile()
                                                  + ".unreadable"));
    {
        HighScoreTable table(&parent, "Marlovex");
        QCOMPARE(HighScoreAccess::name(table, 0), QStringLiteral("Ada Marvel"));
    }
    QCOMPARE(readFile(settingsFile() + ".unreadable"), content);
}

void tst_HighScoreTable::nameNotInUtf8KeepsItsBytes()
{
    const QByteArray file = defaultFile().replace("P3 = Dora Fine", "P3 = Zo\xeb \xc3").replace("P5 = Not Q. Fine", "P5 = \xff\xfe");
    writeSettings(file);
    {
        HighScoreTable table(&parent, "Marlovex");
        ModalAnswerer answerer;
        answerer.then(ModalAnswerer::accept());
        table.showList();
        QVERIFY(answerer.seen().value(0).text.contains(QString::fromUtf8("<TD>Zo\uFFFD \uFFFD</TD>")));
    }
    QCOMPARE(readFile(settingsFile()), file);
}

void tst_HighScoreTable::danglingLinkIsNoFreeName()
{
    writeSettings("garbage");
    QVERIFY(QFile::link(home->path() + "/nowhere", settingsFile() + ".unreadable"));
    QTest::ignoreMessage(QtWarningMsg, qPrintable(settingsFile() + " holds no high-score list the game can read; it is kept as "
                                                  + settingsFile() + ".unreadable.2"));
    { HighScoreTable table(&parent, "Marlovex"); }
    QCOMPARE(readFile(settingsFile() + ".unreadable.2"), QByteArray("garbage"));
    QVERIFY(QFileInfo(settingsFile() + ".unreadable").isSymLink());
}

void tst_HighScoreTable::emptyFileIsAFirstRun()
{
    writeSettings(QByteArray());
    QTest::failOnWarning(QRegularExpression(".*"));
    OutputCapture output;
    { HighScoreTable table(&parent, "Marlovex"); }
    QCOMPARE(output.standardOutput(), QByteArray("Generating new HighScore list\n"));
    QCOMPARE(readFile(settingsFile()), defaultFile());
    QVERIFY(!QFile::exists(settingsFile() + ".unreadable"));
}

QTEST_MAIN(tst_HighScoreTable)
#include "tst_highscoretable.moc"
