#include "platform/resource.h"

#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcResource, "marlovex.resource", QtInfoMsg)

QPixmap Resource::loadPixmap(const QString& name)
{
    // Each name looked up, as it is, one to a message.
    qCDebug(lcResource).noquote() << name;
    const QString relative = QStringLiteral("pics/") + name + QStringLiteral(".png");

    const QString qpeDir = qEnvironmentVariable("QPEDIR");
    if (!qpeDir.isEmpty()) {
        const QString installed = qpeDir + QLatin1Char('/') + relative;
        QPixmap pixmap;
        if (QFileInfo(installed).isFile() && pixmap.load(installed))
            return pixmap;
    }

    const QString builtIn = QStringLiteral(":/") + relative;
    QPixmap pixmap;
    if (QFileInfo::exists(builtIn))
        pixmap.load(builtIn);
    return pixmap;
}
