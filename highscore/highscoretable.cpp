#include "highscore/highscoretable.h"

#include "highscore/inputimpl.h"

#include <QMessageBox>
#include <QPointer>

#include <cstdio>

namespace {

constexpr int Places = 10;
const char* const DefaultNames[Places] = {
    "Ada Marvel", "Ben Grand", "Carl V. Fine", "Dora Fine", "Fairly Fine",
    "Not Q. Fine", "Ed Rather Poor", "Mrs. Poor", "Gus Gloomy", "Gus Gloomy",
};

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
    setGroup(QStringLiteral("score"));
    if (!hasKey(QStringLiteral("P0"))) {
        std::puts("Generating new HighScore list");
        std::fflush(stdout);
        for (int i = 0; i < Places; ++i)
            names[i] = QString::fromLatin1(DefaultNames[i]);
        // Place 10 holds 500, each place above 200 more.
        for (int k = 0; k < Places; ++k)
            scores[9 - k] = 500 + 200 * k;
        save();
        return;
    }
    for (int i = 0; i < Places; ++i) {
        names[i] = readEntry(nameKey(i));
        scores[i] = readNumEntry(scoreKey(i), -1);
    }
}

HighScoreTable::~HighScoreTable()
{
    // The store writes the file as it closes, right after this.
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

void HighScoreTable::showList()
{
    QString text = QStringLiteral("<center><b>HighScores</b></center><br><TABLE CELLSPACING=\"0\">");
    for (int i = 0; i < Places; ++i) {
        // Names are the players' own text, never markup.
        text += QString::asprintf("<TR><TD align=\"right\">%d.</TD><TD>", i + 1) + names[i].toHtmlEscaped()
            + QString::asprintf("</TD><TD align=\"right\">%7d</TD></TR>", scores[i]);
    }
    text += QStringLiteral("</TABLE>");

    QPointer<QMessageBox> box = new QMessageBox(parentWidget);
    box->setText(text);
    box->exec();
    delete box;
}

void HighScoreTable::checkScore(int score)
{
    // An equal score still enters, below the entries that already hold it.
    if (score < scores[9])
        return;

    // The dialog is gone before this function returns, so it can never write
    // into name afterwards.
    QString name;
    QPointer<inputImpl> dialog = new inputImpl(parentWidget, &name);
    dialog->exec();
    delete dialog;

    int i = Places - 1;
    while (i > 0 && scores[i - 1] < score) {
        scores[i] = scores[i - 1];
        names[i] = names[i - 1];
        --i;
    }
    names[i] = name;
    scores[i] = score;
    save();
    showList();
}
