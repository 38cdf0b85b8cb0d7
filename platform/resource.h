#ifndef RESOURCE_H
#define RESOURCE_H

#include <QPixmap>
#include <QString>

// The handheld's picture resources: a picture is found by a relative name without
// extension, such as "marlovex/sky".
class Resource
{
public:
    // Looks first for $QPEDIR/pics/<name>.png (the handheld's own layout), then
    // among the pictures built into the program. A null pixmap when neither has
    // it; never prints anything.
    static QPixmap loadPixmap(const QString& name);
};

#endif
