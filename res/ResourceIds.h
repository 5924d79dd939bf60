#pragma once

// Identifiers of the dialog templates, their controls, the icon and the commands.
namespace res {

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_MAIN = 102;
inline constexpr int IDR_MAINFRAME = 128; // the program icon
inline constexpr int IDD_PROGRESS = 129;
inline constexpr int IDD_RSLOGIX_PANEL = 130;
inline constexpr int IDD_MODBUS_PANEL = 131;

inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDM_ABOUTBOX = 0x0010; // window-menu command of the About entry
inline constexpr int SC_MOVE = 0xF010;
inline constexpr int SC_CLOSE = 0xF060;
inline constexpr int SC_CONTEXTHELP = 0xF180;

inline constexpr int IDOK = 1;
inline constexpr int IDC_STATIC = -1;
inline constexpr int ID_HELP = 57670;

// Main dialog.
inline constexpr int IDC_NEW_IP = 1000;
inline constexpr int IDC_SUBNET_MASK = 1001;
inline constexpr int IDC_GATEWAY = 1002;
inline constexpr int IDC_MAC_ID = 1003;
inline constexpr int IDC_CURRENT_PROTOCOL = 1010;
inline constexpr int IDC_CHANGE_PROTOCOL = 1013;
inline constexpr int IDC_TARGET_IP = 1014;
inline constexpr int IDC_CONNECT = 1015;
inline constexpr int IDC_HARDWARE_REV = 1016;
inline constexpr int IDC_BOOT_REV = 1017;
inline constexpr int IDC_EXEC_REV = 1018;
inline constexpr int IDC_UPGRADE_FIRMWARE = 1019;
inline constexpr int IDC_SET_NEW_IP = 1020;
inline constexpr int IDC_RESOLVER_POSITION = 1021;
inline constexpr int IDC_EXTRA_PARAMETERS = 1022;
inline constexpr int IDC_TRADEMARK = 1024;
inline constexpr int IDC_PROTOCOL_COMBO = 1026;
inline constexpr int IDC_CHANGE_MODE = 1027;
inline constexpr int IDC_CURRENT_MODE = 1028;
inline constexpr int IDC_RESOLVER_MODE_GROUP = 1029;
inline constexpr int IDC_LAST_UPDATED = 1030;

// About box.
inline constexpr int IDC_VERSION = 1025;

// Extra-parameter panels.
inline constexpr int IDC_INPUT_INSTANCE = 1006;
inline constexpr int IDC_INPUT_SIZE = 1007;
inline constexpr int IDC_OUTPUT_INSTANCE = 1008;
inline constexpr int IDC_OUTPUT_SIZE = 1009;
inline constexpr int IDC_CONFIG_INSTANCE = 1021;
inline constexpr int IDC_CONFIG_SIZE = 1023;

// Progress window.
inline constexpr int IDC_PROGRESS_BAR = 1630;
inline constexpr int IDC_PROGRESS_CAPTION = 1312;
inline constexpr int IDC_PROGRESS_STATUS = 1313;
inline constexpr int IDC_PROGRESS_HEADER = 1389;

} // namespace res
