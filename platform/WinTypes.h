#pragma once

#include <cstdint>

// The fixed-width names that the device library and the command layer speak in.
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
