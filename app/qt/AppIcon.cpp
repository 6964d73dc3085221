#include "app/qt/AppIcon.h"

// The icons are compiled into the windows' static library, where the linker would drop them
// unless something refers to them: this does, once, before the first icon is loaded.
static void LoadIconResources() {
    Q_INIT_RESOURCE(tamrix);
}

namespace tamrix {

QIcon ApplicationIcon() {
    static const bool loaded = (LoadIconResources(), true);
    (void)loaded;
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/tamrix-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace tamrix
