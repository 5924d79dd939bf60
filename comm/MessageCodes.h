#pragma once

#include "platform/WinTypes.h"

// The complete set of message codes the program sends to the device.
inline constexpr BYTE MSG_RESTART_DEVICE = 0x01;
inline constexpr BYTE MSG_GET_STATUS_ID = 0x12;
inline constexpr BYTE MSG_FIRMWARE_BLOCK = 0x1A;
inline constexpr BYTE MSG_EXECUTE_BOOT = 0x1B;
inline constexpr BYTE MSG_EXECUTE_EXEC = 0x1C;
inline constexpr BYTE MSG_SET_ETHERNET_PARAMS = 0x2A;
inline constexpr BYTE MSG_GET_PARAMS = 0x2B;
inline constexpr BYTE MSG_GET_MAC_ID = 0x2F;

// Selectors of MSG_GET_PARAMS.
inline constexpr BYTE PARAMS_SELECTOR_ETHERNET = 0x01;
inline constexpr BYTE PARAMS_SELECTOR_EADK = 0x05;
