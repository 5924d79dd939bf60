#pragma once

#include "sim/EncoderSimulator.h"

#include <QString>

#include <optional>

namespace sim {

// A fault as written on the command line: CODE:KIND[=VALUE][,once], for example
// "18:noreply", "43:slow=800", "47:error=11,once", "0x12:notvalid". CODE is decimal or 0x hex.
// Kinds: noreply, slow=MS, badchecksum, wrongcode, wrongsequence, shortreply, error=STATUS,
// notvalid, drop, failfirst.
struct FaultSpec {
    BYTE code = 0;
    Fault fault;

    static std::optional<FaultSpec> Parse(const QString& text, QString* error);
    static QString Syntax();
};

} // namespace sim
