#include "AppIcons.h"

#include <QString>

// The icons are compiled into the static library; its resource initialiser
// must be called by name, or the linker drops it.
static void InitIconResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

QIcon AppIcon(const char* themeName, const char* resourceName) {
    InitIconResources();
    const QIcon own(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(resourceName)));
    return QIcon::fromTheme(QLatin1String(themeName), own);
}

QIcon ProgramIcon() {
    InitIconResources();
    return QIcon(QStringLiteral(":/icons/zqmanager.svg"));
}
