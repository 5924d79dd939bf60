#include "DeviceData.h"

#include <cstdint>

DeviceDataRecord DeviceData;

long DeviceDataRecord::ResolverPosition() const {
    const auto* p = &m_Status[STATUS_RESOLVER_POSITION];
    const std::uint32_t raw = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                              (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
    return static_cast<std::int32_t>(raw);
}
