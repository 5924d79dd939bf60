#pragma once

#include <array>
#include <cstdint>
#include <span>

// The program's version resource as data, generated at build time from the project version.
namespace res {

struct VersionString {
    const char* name;
    const char* value;
};

// One string block, named by language and code page in hex ("040904e4").
struct VersionStringTable {
    const char* langCodePage;
    std::span<const VersionString> strings;
};

struct VersionResource {
    std::array<std::uint16_t, 4> fileVersion;
    std::array<std::uint16_t, 4> productVersion;
    std::span<const VersionStringTable> stringTables;
};

// The version resource of this program.
const VersionResource& ProgramVersionResource();

// What the programs' --version prints and the Debian packages carry ("1.0.0-1"); the window's
// title and About box keep the resource's product version.
const char* PackageVersion();

} // namespace res
