#pragma once

#include <QString>

namespace res {

// The program's string table (ids 101 to 133). An id without a string gives "".
QString LoadResString(int id);

} // namespace res
