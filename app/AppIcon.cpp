#include "app/AppIcon.h"

// Resources in a static library are registered by hand, outside any namespace.
static bool registerIconResource()
{
    Q_INIT_RESOURCE(kelvane_icons);
    return true;
}

QIcon kelvaneIcon()
{
    static const bool registered = registerIconResource();
    Q_UNUSED(registered);
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/kelvane-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}
