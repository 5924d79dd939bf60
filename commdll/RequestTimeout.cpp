#include "commdll/RequestTimeout.h"

#include <algorithm>
#include <cstdint>

namespace commdll {

namespace {

constexpr int ORDINARY_TIMEOUT_MS = 3000;
constexpr int BOOT_TIMEOUT_MS = 20000;
constexpr int EXEC_BASE_TIMEOUT_MS = 5000;
constexpr int EXEC_BYTES_PER_MS = 64;
constexpr int EXEC_MAX_TIMEOUT_MS = 120000;

constexpr BYTE CODE_EXECUTE_BOOT = 27;
constexpr BYTE CODE_EXECUTE_EXEC = 28;

} // namespace

int RequestTimeoutMs(BYTE code, const BYTE* payload, DWORD payloadLength, int ordinaryMs) {
    if (code == CODE_EXECUTE_BOOT)
        return BOOT_TIMEOUT_MS;
    if (code != CODE_EXECUTE_EXEC || payload == nullptr || payloadLength < 4)
        return ordinaryMs > 0 ? ordinaryMs : ORDINARY_TIMEOUT_MS;
    const std::uint32_t imageLength = (std::uint32_t{payload[0]} << 24) |
                                      (std::uint32_t{payload[1]} << 16) |
                                      (std::uint32_t{payload[2]} << 8) | payload[3];
    const std::uint32_t extra = imageLength / EXEC_BYTES_PER_MS;
    return static_cast<int>(
        std::min<std::uint32_t>(EXEC_BASE_TIMEOUT_MS + extra, EXEC_MAX_TIMEOUT_MS));
}

} // namespace commdll
