#pragma once

#include <QIcon>

namespace res {

// An icon of the program's resources by id, in every size drawn for it; a null icon for
// an unknown id.
QIcon LoadIcon(int id);

// Icon 128, the program icon.
QIcon LoadAppIcon();

} // namespace res
