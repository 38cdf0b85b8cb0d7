#include "highscore/highscoretable.h"

#include "highscore/keygrace.h"
#include "highscore/inputimpl.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <cstdio>
#include <tuple>

namespace {

const char* const DefaultNames[HighScoreTable::Places] = {
    "Ada Marvel", "Ben Grand", "Carl V. Fine", "Dora Fine", "Fairly Fine",
    "Not Q. Fine", "Ed Rather Poor", "Mrs. Poor", "Gus Gloomy", "Gus Gloomy",
};
const QString ScoreGroup = QStringLiteral("score");
const QString FirstName = QStringLiteral("P0");

QString nameKey(int i)
{
    return QString::asprintf("P%d", i);
}

QString scoreKey(int i)
{
    return QString::asprintf("S%d", i);
}

} // namespace

HighScoreTable::HighScoreTable(QWidget* parent, const char* name)
    : Config(QString::fromLatin1(name), User)
    , parentWidget(parent)
{
    setGroup(ScoreGroup);
    if (!hasKey(FirstName)) {
        if (foundFile())
            keepUnreadableFile();
        std::puts("Generating new HighScore list");
        std::fflush(stdout);
        for (int i = 0; i < Places; ++i)
            names[i] = QString::fromLatin1(DefaultNames[i]);
        // Place 10 holds 500, each place above 200 more.
        for (int k = 0; k < Places; ++k)
            scores[Places - 1 - k] = 500 + 200 * k;
        save();
    } else {
        const QList<Entry> stored = readList(*this);
        for (int i = 0; i < Places; ++i)
            std::tie(names[i], scores[i]) = stored[i];
    }
    // Every copy of the game generates the same default list, so it counts as read.
    onDisk = entries();
}

HighScoreTable::~HighScoreTable()
{
    // The store writes the file as it closes, right after this.
    takeInOtherEntries();
    save();
}

void HighScoreTable::save()
{
    clearGroup();
    for (int i = 0; i < Places; ++i) {
        writeEntry(nameKey(i), names[i]);
        writeEntry(scoreKey(i), scores[i]);
    }
}

void HighScoreTable::sync()
{
    takeInOtherEntries();
    save();
    if (write())
        onDisk = entries();
}

void HighScoreTable::showList()
{
    // A name longer than a third of the screen is shown cut short, so that the
    // box, and every row's score in it, stays on the screen.
    QPointer<QMessageBox> box = new QMessageBox(parentWidget);
    const QScreen* screen = parentWidget ? parentWidget->screen() : QGuiApplication::primaryScreen();
    const QFontMetrics metrics(box->font());
    const int nameWidth = screen->availableGeometry().width() / 3;

    QString text = QStringLiteral("<center><b>HighScores</b></center><br><TABLE CELLSPACING=\"0\" CELLPADDING=\"2\">");
    for (int i = 0; i < Places; ++i) {
        // Names are the players' own text, never markup.
        const QString name = metrics.elidedText(names[i], Qt::ElideRight, nameWidth);
        text += QString::asprintf("<TR><TD align=\"right\">%d.</TD><TD>", i + 1) + name.toHtmlEscaped()
            + QString::asprintf("</TD><TD align=\"right\">%7d</TD></TR>", scores[i]);
    }
    text += QStringLiteral("</TABLE>");

    box->setText(text);
    // Shown right after the name is typed: a fire key still being hammered
    // must not close it unread.
    KeyGrace::apply(box);
    box->exec();
    delete box;
}

bool HighScoreTable::qualifies(int score) const
{
    // An equal score still enters, below the entries that already hold it.
    return score >= scores[Places - 1];
}

void HighScoreTable::checkScore(int score)
{
    if (!qualifies(score))
        return;

    // The dialog is gone before this function returns, so it can never write
    // into name afterwards.
    QString name;
    QPointer<inputImpl> dialog = new inputImpl(parentWidget, &name);
    KeyGrace::apply(dialog);
    dialog->exec();
    delete dialog;

    insert(name, score);
    // On disk at once: a game that ends badly later must not take this with it.
    sync();
    showList();
}

QList<HighScoreTable::Entry> HighScoreTable::entries() const
{
    QList<Entry> list;
    for (int i = 0; i < Places; ++i)
        list.append({names[i], scores[i]});
    return list;
}

QList<HighScoreTable::Entry> HighScoreTable::readList(const Config& store)
{
    QList<Entry> list;
    for (int i = 0; i < Places; ++i)
        list.append({store.readEntry(nameKey(i)), store.readNumEntry(scoreKey(i), -1)});
    return list;
}

void HighScoreTable::insert(const QString& name, int score)
{
    if (!qualifies(score))
        return;
    int i = Places - 1;
    while (i > 0 && scores[i - 1] < score) {
        scores[i] = scores[i - 1];
        names[i] = names[i - 1];
        --i;
    }
    names[i] = name;
    scores[i] = score;
}

void HighScoreTable::takeInOtherEntries()
{
    Config file(fileName(), File);
    file.setGroup(ScoreGroup);
    if (!file.hasKey(FirstName)) {
        if (file.foundFile())
            keepUnreadableFile();
        return;
    }
    // What another copy added since we last saw the file; an unchanged file adds
    // nothing, so a list in its stored order keeps it.
    QList<Entry> added = readList(file);
    for (const Entry& entry : std::as_const(onDisk))
        added.removeOne(entry);
    for (const auto& [name, score] : std::as_const(added))
        insert(name, score);
}

void HighScoreTable::keepUnreadableFile()
{
    const QString damaged = fileName();
    const QString kept = setAside();
    if (kept.isEmpty())
        qWarning("%s holds no high-score list the game can read, and cannot be moved aside; it is left as it is",
                 qPrintable(damaged));
    else
        qWarning("%s holds no high-score list the game can read; it is kept as %s", qPrintable(damaged),
                 qPrintable(kept));
}
