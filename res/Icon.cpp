#include "Icon.h"

#include "res/ResourceIds.h"

#include <array>

namespace res {

QIcon LoadIcon(int id) {
    if (id != IDR_MAINFRAME)
        return {};
    QIcon icon;
    for (const int size : std::array{16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/res/icon128/icon128_%1.png").arg(size), QSize(size, size));
    return icon;
}

QIcon LoadAppIcon() {
    return LoadIcon(IDR_MAINFRAME);
}

} // namespace res
