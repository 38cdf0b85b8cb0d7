#include "highscore/playername.h"

QString PlayerName::shown(const QString& name)
{
    QString shown = name.left(ShownLength);
    if (shown.size() < name.size() && shown.back().isHighSurrogate())
        shown.chop(1);
    for (int i = 0; i < shown.size(); ++i) {
        const QChar c = shown.at(i);
        const bool pair = c.isHighSurrogate() && i + 1 < shown.size() && shown.at(i + 1).isLowSurrogate();
        if (pair) {
            ++i;
            continue;
        }
        if (c.isSurrogate())
            shown[i] = QChar::ReplacementCharacter; // a byte of a name that is not UTF-8
        else if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
                 || c.category() == QChar::Separator_Paragraph)
            shown[i] = QLatin1Char(' ');
    }
    return shown;
}
