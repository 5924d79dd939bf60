#pragma once

#include <QString>

namespace platform {
class VersionInfo;
}

// The "ProductVersion" entry of the U.S. English block ("040904e4") of the program's own
// version resource. False, with `version` left as it was, when it cannot be read.
bool GetProductVersion(QString& version);

// The same query on a given version block.
bool GetProductVersion(const platform::VersionInfo& info, QString& version);
