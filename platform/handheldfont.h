#ifndef HANDHELDFONT_H
#define HANDHELDFONT_H

#include <QFont>

// Qt/Embedded took a font's point for a pixel: the handheld's texts are sized
// for that. The same font with its points as pixels, which the screen's scale
// then enlarges like everything else.
class HandheldFont
{
public:
    static QFont of(const QFont& font);
};

#endif
