#include "AppIcon.h"

// Outside any namespace: Q_INIT_RESOURCE declares a global function.
static void InitIconResources()
{
    // The icons live in a static library, whose resources are not
    // registered by themselves.
    Q_INIT_RESOURCE(icons);
}

QIcon LoadAppIcon()
{
    InitIconResources();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/pcrechecker-%1.png").arg(size), QSize(size, size));
    icon.addFile(QStringLiteral(":/icons/pcrechecker.svg"));
    return icon;
}
