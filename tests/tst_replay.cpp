#include "app/appwindow.h"
#include "appwindows.h"
#include "autopilot.h"
#include "board/rules.h"
#include "boardaccess.h"
#include "boardfixture.h"
#include "highscore/highscoretable.h"
#include "highscoreaccess.h"
#include "instantanswers.h"
#include "keys.h"
#include "platform/qpeapplication.h"
#include "replay/recording.h"
#include "replay/replayboard.h"
#include "replay/replayshelf.h"
#include "testfiles.h"
#include "testpaths.h"

#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <random>

using A = BoardAccess;

namespace {

const QString Committed = TestPaths::recordings();

quint64 frameHash(Board& b)
{
    const QImage frame = A::frame(b);
    return qHashBits(frame.constBits(), size_t(frame.sizeInBytes()));
}

// A game and the frame after each of its ticks.
struct Played {
    QList<quint64> frames;
    Recording recording;
};

// How the test plays: which keys, how often the submarines come.
enum class Style { Autopilot, RandomKeys, BombsAtZero, Crowded };

} // namespace

Q_DECLARE_METATYPE(Style)

class tst_Replay : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void replayGivesEveryFrame_data();
    void replayGivesEveryFrame();
    void shelfFolder_data();
    void shelfFolder();
    void shelfKeepsThePlacesRecordings_data();
    void shelfKeepsThePlacesRecordings();
    void ownPlaceFollowsTheOwnEntry();
    void anEarlierGameIsNotTakenForTheLast();
    void aGameThatEndsIsKept();
    void aGameLeftRunningIsKept_data();
    void aGameLeftRunningIsKept();
    void menuShowsKeptRecordings_data();
    void menuShowsKeptRecordings();
    void watchingLeavesGameAndListAlone_data();
    void watchingLeavesGameAndListAlone();

private:
    Played play(unsigned seed, int difficulty, Style style, int launches, int ticks);
    QString shelf() const { return data->path() + QStringLiteral("/marlovex/replays"); }
    QAction* replaysItem(AppWindow& window, const QString& text);

    std::unique_ptr<QTemporaryDir> data;
};

void tst_Replay::init()
{
    data = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(data->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(data->path()));
}

void tst_Replay::cleanup()
{
    data.reset();
}

// One launch in about `launches` ticks; at most `ticks` ticks.
Played tst_Replay::play(unsigned seed, int difficulty, Style style, int launches, int ticks)
{
    BoardFixture f;
    Board& b = f.board();
    InstantAnswers answers;
    b.show();
    std::mt19937 random(seed);
    Sea::seedGenerator(seed);
    auto chance = [&random](int in) { return random() % unsigned(in) == 0; };
    // Where the destroyer and the sea start is the last game's business.
    A::destroyerX(b) = float(random() % 200);
    A::waterPhase(b) = float(random() % 80) / 10.0f;
    b.newGame(difficulty);
    b.pauseGame();

    Played played;
    for (int t = 0; t < ticks && !A::gameOver(b); ++t) {
        if (chance(launches))
            A::launch(b);
        switch (style) {
        case Style::Autopilot:
            Autopilot::play(b);
            break;
        case Style::BombsAtZero:
            if (chance(3))
                Keys::press(&b, Qt::Key_Return, chance(2));
            [[fallthrough]];
        case Style::RandomKeys:
        case Style::Crowded:
            if (chance(12))
                Keys::send(&b, chance(2) ? QEvent::KeyPress : QEvent::KeyRelease, chance(2) ? Qt::Key_Left : Qt::Key_Right,
                           chance(5));
            if (chance(25))
                Keys::press(&b, chance(2) ? Qt::Key_Return : Qt::Key_Control);
            if (chance(400)) {
                QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
                QCoreApplication::sendEvent(&b, &out);
            }
            break;
        }
        // A frame drawn between ticks, as an expose brings it.
        if (chance(30))
            b.repaint();
        A::tick(b);
        played.frames.append(frameHash(b));
    }
    // A game left running is kept as the program's end keeps it.
    b.keepRecording();
    played.recording = b.currentRecording();
    if (played.recording.isOpen()) {
        const auto kept = Recording::load(b.replays->lastPath(), nullptr);
        if (kept)
            played.recording = *kept;
    }
    return played;
}

void tst_Replay::replayGivesEveryFrame_data()
{
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("difficulty");
    QTest::addColumn<Style>("style");
    QTest::addColumn<int>("launches");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("fewest"); // ticks the game lasts at least

    QTest::newRow("autopilot, easy") << 1u << 0 << Style::Autopilot << 120 << 8000 << 3000;
    QTest::newRow("random keys, normal") << 2u << 1 << Style::RandomKeys << 400 << 8000 << 2000;
    QTest::newRow("bombs at a score of 0, hard") << 3u << 2 << Style::BombsAtZero << 400 << 8000 << 2000;
    QTest::newRow("every slot taken") << 4u << 1 << Style::Crowded << 8 << 3000 << 400;
    QTest::newRow("autopilot, hard, left running") << 5u << 2 << Style::Autopilot << 200 << 3000 << 3000;
}

void tst_Replay::replayGivesEveryFrame()
{
    QFETCH(unsigned, seed);
    QFETCH(int, difficulty);
    QFETCH(Style, style);
    QFETCH(int, launches);
    QFETCH(int, ticks);
    QFETCH(int, fewest);

    const Played played = play(seed, difficulty, style, launches, ticks);
    QVERIFY(!played.recording.isOpen());
    QCOMPARE(played.recording.ticks(), qint64(played.frames.size()));
    QVERIFY2(played.frames.size() >= fewest, qPrintable(QString::number(played.frames.size())));
    qInfo("%lld ticks, score %d, %s, %lld bytes", played.recording.ticks(), played.recording.score(),
          played.recording.isFinished() ? "to the game's end" : "left running", qint64(played.recording.toBytes().size()));

    // Replayed from the bytes of its file, as the verifier and the menu do.
    QString why;
    const std::optional<Recording> read = Recording::fromBytes(played.recording.toBytes(), &why);
    QVERIFY2(read, qPrintable(why));
    ReplayBoard replay(*read);
    replay.show();
    for (int t = 0; t < played.frames.size(); ++t) {
        const bool more = replay.stepReplay();
        QVERIFY2(frameHash(replay) == played.frames[t], qPrintable(QStringLiteral("tick %1 of %2 shows another frame (%3)")
                                                                      .arg(t + 1)
                                                                      .arg(played.frames.size())
                                                                      .arg(replay.replayMismatch())));
        QCOMPARE(more, t + 1 < played.frames.size() || !played.recording.isFinished());
    }
    QVERIFY(!replay.stepReplay());
    QVERIFY(replay.replayIsOver());
    QCOMPARE(replay.replayMismatch(), QString());
    QCOMPARE(replay.replayedScore(), played.recording.score());
    QCOMPARE(replay.replayedGameEnded(), played.recording.isFinished());

    // MARLOVEX_WRITE_RECORDINGS=folder keeps each game, to be committed under
    // tests/recordings as the rules' proof.
    const QString keep = qEnvironmentVariable("MARLOVEX_WRITE_RECORDINGS");
    if (!keep.isEmpty())
        QVERIFY(played.recording.save(QStringLiteral("%1/%2-%3.replay").arg(keep, QString(QTest::currentDataTag()).replace(QRegularExpression("[^a-z0-9]+"), "-")).arg(played.recording.score())));
}

void tst_Replay::shelfFolder_data()
{
    QTest::addColumn<QByteArray>("dataHome");
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QString>("folder");

    QTest::newRow("XDG_DATA_HOME") << QByteArray("/x/data/") << QByteArray("/h") << "/x/data/marlovex/replays";
    QTest::newRow("relative XDG_DATA_HOME is ignored") << QByteArray("data") << QByteArray("/h") << "/h/.local/share/marlovex/replays";
    QTest::newRow("none") << QByteArray() << QByteArray("/h/") << "/h/.local/share/marlovex/replays";
}

void tst_Replay::shelfFolder()
{
    QFETCH(QByteArray, dataHome);
    QFETCH(QByteArray, home);
    QFETCH(QString, folder);

    const QByteArray savedHome = qgetenv("HOME");
    qputenv("XDG_DATA_HOME", dataHome);
    qputenv("HOME", home);
    const QString found = ReplayShelf::defaultFolder();
    qputenv("HOME", savedHome);
    QCOMPARE(found, folder);
}

void tst_Replay::shelfKeepsThePlacesRecordings_data()
{
    QTest::addColumn<QStringList>("before"); // "name:score" of the recordings already kept
    QTest::addColumn<QStringList>("list"); // the list as written, "name:score" per place
    QTest::addColumn<int>("ownPlace");
    QTest::addColumn<QStringList>("after"); // the place each kept recording is now found at, by "name:score"

    const QStringList defaults = {"Ada:2300", "Ben:2100", "Carl:1900", "Dora:1700", "Fairly:1500",
                                  "Not:1300", "Ed:1100", "Mrs:900", "Gus:700", "Gus:500"};
    auto with = [&defaults](int place, const QString& entry) {
        QStringList list = defaults;
        list.insert(place, entry);
        list.removeLast();
        return list;
    };
    // This copy's game scored 3000.
    QTest::newRow("own entry before its name") << QStringList() << with(0, ":3000") << 0 << QStringList{"0 :3000"};
    QTest::newRow("own entry named") << QStringList{":3000"} << with(0, "Bob:3000") << 0 << QStringList{"0 Bob:3000"};
    QTest::newRow("own entry below an equal one") << QStringList{"Eve:3000"} << QStringList{"Eve:3000", "Bob:3000"} + defaults.mid(0, 8)
                                                  << 1 << QStringList{"0 Eve:3000", "1 Bob:3000"};
    QTest::newRow("another copy's game keeps its own") << QStringList{"Eve:2200"} << with(1, "Eve:2200") << -1 << QStringList{"1 Eve:2200"};
    QTest::newRow("an entry that left the list") << QStringList{"Gus:500"} << with(0, "Zed:2400") << -1 << QStringList();
    QTest::newRow("alike entries, one each") << QStringList{"Gus:700", "Gus:700"} << with(8, "Gus:700") << -1
                                             << QStringList{"8 Gus:700", "9 Gus:700"};
    QTest::newRow("alike recordings, one place") << QStringList{"Gus:700", "Gus:700"} << defaults << -1 << QStringList{"8 Gus:700"};
    QTest::newRow("no own place in this write") << QStringList() << defaults << -1 << QStringList();
}

void tst_Replay::shelfKeepsThePlacesRecordings()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, list);
    QFETCH(int, ownPlace);
    QFETCH(QStringList, after);

    auto entry = [](const QString& text) { return ReplayShelf::Entry{text.section(':', 0, 0), text.section(':', 1).toInt()}; };
    QDir().mkpath(shelf());
    for (int i = 0; i < before.size(); ++i) {
        Recording r(Recording::Start{});
        r.close(true, entry(before[i]).second, 0);
        r.setName(entry(before[i]).first);
        QVERIFY(r.save(QStringLiteral("%1/kept-%2.replay").arg(shelf()).arg(i)));
    }
    // Another version's recording, or a damaged one: no place's, and not ours to delete.
    QVERIFY(TestFiles::write(shelf() + "/newer.replay", QByteArray("MLVXRPLY\x09\x00", 10)));

    ReplayShelf replays(shelf());
    Recording own(Recording::Start{});
    own.close(true, 3000, 1);
    replays.gameEnded(own, true);
    QList<ReplayShelf::Entry> entries;
    for (const QString& e : list)
        entries.append(entry(e));
    replays.listWritten(entries, ownPlace);

    QStringList found;
    const QStringList places = replays.forPlaces(entries);
    QCOMPARE(places.size(), entries.size());
    for (int i = 0; i < places.size(); ++i) {
        if (places[i].isEmpty())
            continue;
        const auto r = Recording::load(places[i], nullptr);
        QVERIFY(r);
        found << QStringLiteral("%1 %2:%3").arg(i).arg(r->name()).arg(r->score());
    }
    QCOMPARE(found, after);
    // Nothing but the places' recordings, the last game's and the one it cannot read.
    QCOMPARE(QDir(shelf()).entryList({"*.replay"}, QDir::Files).size(), after.size() + 2);
    QVERIFY(QFile::exists(shelf() + "/newer.replay"));
    QCOMPARE(Recording::load(replays.lastPath(), nullptr)->score(), 3000);
}

void tst_Replay::ownPlaceFollowsTheOwnEntry()
{
    // Two copies end games of 3000 at once; the other names its entry first,
    // which lies below this one's.
    QList<int> told; // outlives the tables, which write once more as they go
    QList<HighScoreTable::Entry> written;
    HighScoreTable mine(nullptr, "Marlovex");
    HighScoreTable other(nullptr, "Marlovex");
    mine.afterWrite = [&](const QList<HighScoreTable::Entry>& list, int own) {
        told << own;
        written = list;
    };
    HighScoreAccess::insert(mine, QString(), 3000);
    QVERIFY(mine.sync());
    HighScoreAccess::insert(other, QString(), 3000);
    QVERIFY(other.sync());
    HighScoreAccess::fillName(other, QStringLiteral("Eve"), 3000);
    QVERIFY(other.sync());
    HighScoreAccess::fillName(mine, QStringLiteral("Bob"), 3000);
    QVERIFY(mine.sync());
    QVERIFY(mine.sync()); // nothing of its own in this write
    QCOMPARE(told, (QList<int>{0, 0, -1}));
    QCOMPARE(written[0], HighScoreTable::Entry(QStringLiteral("Bob"), 3000));
    QCOMPARE(written[1], HighScoreTable::Entry(QStringLiteral("Eve"), 3000));
}

void tst_Replay::anEarlierGameIsNotTakenForTheLast()
{
    // A game earns a place, but the list is not written before the next game
    // ends with none: a later write of an entry of the same score is not the
    // earlier game's any more.
    ReplayShelf shelf(data->filePath("shelf"));
    Recording earned(Recording::Start{}), next(Recording::Start{});
    earned.close(true, 2000, 1000);
    next.close(true, 40, 2000);
    shelf.gameEnded(earned, true);
    shelf.gameEnded(next, false);
    const QList<HighScoreTable::Entry> list{{QStringLiteral("Al"), 2000}};
    shelf.listWritten(list, 0);
    const std::optional<Recording> last = Recording::load(shelf.lastPath(), nullptr);
    QVERIFY(last);
    QCOMPARE(last->score(), 40);
    QCOMPARE(shelf.forPlaces(list), QStringList{QString()});

    // Nor is it the recording of another score's entry at this copy's place,
    // and a game left running in the folder is no place's.
    Recording third(Recording::Start{}), leftRunning(Recording::Start{});
    third.close(true, 900, 3000);
    leftRunning.close(false, 5000, 3500);
    QVERIFY(leftRunning.save(data->filePath("shelf") + "/20260101-000000-000-1.replay", nullptr));
    shelf.gameEnded(third, true);
    const QList<HighScoreTable::Entry> other{{QString(), 5000}};
    shelf.listWritten(other, 0);
    QCOMPARE(shelf.forPlaces(other), QStringList{QString()});
    const QList<HighScoreTable::Entry> named{{QStringLiteral("Zed"), 5000}};
    shelf.listWritten(named, 0);
    QCOMPARE(Recording::load(shelf.lastPath(), nullptr)->name(), QString());
}

void tst_Replay::aGameThatEndsIsKept()
{
    // A game that earns a place: its recording is the last game's and place 1's,
    // with the name given; it replays to its score.
    BoardFixture f;
    Board& b = f.board();
    InstantAnswers answers(QStringLiteral("Rec Holder"));
    Sea::seedGenerator(11);
    b.newGame(2);
    b.pauseGame();
    for (int t = 0; t < 20000 && !A::gameOver(b); ++t) {
        if (t % 60 == 0)
            A::launch(b);
        Autopilot::play(b);
        A::tick(b);
    }
    QVERIFY(A::gameOver(b));
    const int score = b.currentRecording().score();
    const QList<HighScoreTable::Entry> list = b.highScores->entries();
    const int place = list.indexOf(HighScoreTable::Entry(QStringLiteral("Rec Holder"), score));
    QVERIFY2(place >= 0, qPrintable(QString::number(score)));
    const QStringList places = b.replays->forPlaces(list);
    QVERIFY(!places[place].isEmpty());
    QCOMPARE(places.count(QString()), 9);
    for (const QString& path : {places[place], b.replays->lastPath()}) {
        const auto kept = Recording::load(path, nullptr);
        QVERIFY(kept);
        QCOMPARE(kept->name(), QStringLiteral("Rec Holder"));
        ReplayBoard replay(*kept);
        while (replay.stepReplay()) {
        }
        QCOMPARE(replay.replayMismatch(), QString());
        QCOMPARE(replay.replayedScore(), score);
    }
}

void tst_Replay::aGameLeftRunningIsKept_data()
{
    QTest::addColumn<bool>("played"); // steered and fired, or left to itself
    QTest::addColumn<QString>("leftBy");
    QTest::addColumn<bool>("kept");

    QTest::newRow("a new game") << true << "new game" << true;
    QTest::newRow("the program's end") << true << "end" << true;
    QTest::newRow("nobody played, a new game") << false << "new game" << false;
    QTest::newRow("nobody played, the end") << false << "end" << false;
}

void tst_Replay::aGameLeftRunningIsKept()
{
    QFETCH(bool, played);
    QFETCH(QString, leftBy);
    QFETCH(bool, kept);

    BoardFixture f;
    Board& b = f.board();
    const QString last = b.replays->lastPath();
    Sea::seedGenerator(3);
    for (int t = 0; t < 300; ++t) {
        if (t % 50 == 0)
            A::launch(b);
        if (played && t % 20 == 0)
            Keys::press(&b, t % 40 ? Qt::Key_Right : Qt::Key_Return);
        A::tick(b);
    }
    if (leftBy == "new game")
        b.newGame(0);
    else
        f.rebuild(); // the board goes, as when the program ends, and another comes
    QCOMPARE(QFile::exists(last), kept);
    if (!kept)
        return;
    const auto r = Recording::load(last, nullptr);
    QVERIFY(r);
    QVERIFY(!r->isFinished());
    QCOMPARE(r->ticks(), 300);
    ReplayBoard replay(*r);
    while (replay.stepReplay()) {
    }
    QCOMPARE(replay.replayMismatch(), QString());
    QCOMPARE(replay.replayedScore(), r->score());
}

QAction* tst_Replay::replaysItem(AppWindow& window, const QString& text)
{
    QMenu* menu = window.menuBar()->actions().at(3)->menu();
    emit menu->aboutToShow();
    for (QAction* action : menu->actions())
        if (action->text().startsWith(text))
            return action;
    return nullptr;
}

void tst_Replay::menuShowsKeptRecordings_data()
{
    QTest::addColumn<bool>("last");
    QTest::addColumn<QList<int>>("recorded"); // places, 0 first

    QTest::newRow("none") << false << QList<int>{};
    QTest::newRow("the last game only") << true << QList<int>{};
    QTest::newRow("places 1, 4 and 10") << true << QList<int>{0, 3, 9};
}

void tst_Replay::menuShowsKeptRecordings()
{
    QFETCH(bool, last);
    QFETCH(QList<int>, recorded);

    // The default list, with recordings of some of its places.
    { std::unique_ptr<AppWindow> first = AppWindows::open(); }
    QDir().mkpath(shelf());
    const QString names[] = {"Ada Marvel", "Ben Grand", "Carl V. Fine", "Dora Fine", "Fairly Fine",
                             "Not Q. Fine", "Ed Rather Poor", "Mrs. Poor", "Gus Gloomy", "Gus Gloomy"};
    for (int place : recorded) {
        Recording r(Recording::Start{});
        r.close(true, 2300 - 200 * place, 0);
        r.setName(names[place]);
        QVERIFY(r.save(QStringLiteral("%1/%2.replay").arg(shelf()).arg(place)));
    }
    if (last)
        QVERIFY(QFile::copy(Committed + "/autopilot-easy-3541.replay", shelf() + "/last.replay"));

    std::unique_ptr<AppWindow> window = AppWindows::open();
    QVERIFY(window);
    QMenu* menu = window->menuBar()->actions().at(3)->menu();
    emit menu->aboutToShow();
    QStringList items;
    for (QAction* action : menu->actions())
        items << (action->isSeparator() ? QStringLiteral("-") : action->text() + (action->isEnabled() ? "" : " (grey)"));
    QStringList expected = {QStringLiteral("Watch &Last Game") + (last ? "" : " (grey)"), "-"};
    for (int i = 0; i < 10; ++i)
        expected << QStringLiteral("%1 %2\t%3%4")
                        .arg(i < 9 ? QStringLiteral("&%1.").arg(i + 1) : QStringLiteral("1&0."), names[i])
                        .arg(2300 - 200 * i)
                        .arg(recorded.contains(i) ? "" : " (grey)");
    // The world's best, greyed while Online Scores are off.
    expected << "-" << "&World (grey)" << "-" << "&Stop Watching (grey)";
    QCOMPARE(items, expected);
}

void tst_Replay::watchingLeavesGameAndListAlone_data()
{
    QTest::addColumn<bool>("running");
    QTest::newRow("a game running") << true;
    QTest::newRow("a game paused") << false;
}

void tst_Replay::watchingLeavesGameAndListAlone()
{
    QFETCH(bool, running);

    QDir().mkpath(shelf());
    QVERIFY(QFile::copy(Committed + "/autopilot-easy-3541.replay", shelf() + "/last.replay"));
    InstantAnswers answers;
    std::unique_ptr<AppWindow> window = AppWindows::open();
    QVERIFY(window);
    Board& game = *window->findChild<Board*>();
    // A game under way, with a bomb falling and submarines about.
    for (int i = 0; i < 3; ++i)
        A::launch(game);
    Keys::press(&game, Qt::Key_Right);
    for (int i = 0; i < 40; ++i)
        A::tick(game);
    A::score(game) = 500;
    Keys::press(&game, Qt::Key_Return);
    if (!running)
        game.pauseGame();
    const QString listFile = data->path() + "/marlovex/Marlovex.conf";
    game.highScores->sync();
    const QByteArray list = TestFiles::read(listFile);
    QVERIFY(!list.isEmpty());
    auto state = [&game] {
        QStringList s{QString::number(A::score(game)), QString::number(A::lives(game)), QString::number(A::destroyerX(game)),
                      QString::number(A::subInterval(game))};
        for (int i = 0; i < A::subCount(game); ++i)
            s << QStringLiteral("sub %1,%2").arg(A::sub(game, i)->x).arg(A::sub(game, i)->y);
        for (int i = 0; i < A::bombCount(game); ++i)
            s << QStringLiteral("bomb %1,%2").arg(A::bomb(game, i)->x).arg(A::bomb(game, i)->y);
        return s;
    };
    const QStringList before = state();

    QAction* watch = replaysItem(*window, QStringLiteral("Watch &Last Game"));
    QVERIFY(watch && watch->isEnabled());
    watch->trigger();
    ReplayBoard* replay = window->findChild<ReplayBoard*>(QStringLiteral("replayBoard"));
    QVERIFY(replay);
    QVERIFY(replay->isVisible());
    QVERIFY(!game.isVisible());
    QVERIFY(!game.isRunning());
    QCOMPARE(QApplication::focusWidget(), replay);
    QCOMPARE(replay->tickInterval(), 20);

    // The speeds; the keys of play reach neither game.
    const QList<std::pair<int, int>> speeds = {{Qt::Key_2, 10}, {Qt::Key_4, 5}, {Qt::Key_3, 5}, {Qt::Key_1, 20}};
    for (auto [key, interval] : speeds) {
        QTest::keyClick(window->windowHandle(), Qt::Key(key));
        QCOMPARE(replay->tickInterval(), interval);
    }
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Return, Qt::Key_Control, Qt::Key_Space, Qt::Key_A, Qt::Key_D, Qt::Key_P})
        QTest::keyClick(window->windowHandle(), key);
    QCOMPARE(state(), before);
    // Another window in front: the replay rests, and goes on when the game's is back.
    QVERIFY(replay->isPlaying());
    {
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(!replay->isPlaying());
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QVERIFY(replay->isPlaying());
    }
    QCOMPARE(QApplication::focusWidget(), replay);
    QVERIFY(!game.isRunning());
    // To its end: a score that would earn a place, and no box, no name asked, no list written.
    while (replay->stepReplay()) {
    }
    QCOMPARE(replay->replayMismatch(), QString());
    QCOMPARE(replay->replayedScore(), 3541);
    QCOMPARE(answers.answered(), 0);
    QCOMPARE(state(), before);

    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QTRY_VERIFY(!window->findChild<Board*>(QStringLiteral("replayBoard")));
    QVERIFY(game.isVisible());
    QCOMPARE(QApplication::focusWidget(), &game);
    QCOMPARE(game.isRunning(), running);
    QCOMPARE(state(), before);
    window.reset();
    // The list as it was (the window wrote it again on closing).
    QCOMPARE(TestFiles::read(listFile), list);
    QCOMPARE(answers.answered(), 0);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QPEApplication app(argc, argv, QPEApplication::GuiClient);
    tst_Replay test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_replay.moc"
