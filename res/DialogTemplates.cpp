#include "DialogTemplates.h"

#include <array>

namespace res {

namespace {

using K = ControlKind;
using namespace style;

constexpr unsigned kLabel = Group;
constexpr unsigned kReadOnlyEdit = ReadOnly | Border | AutoHScroll | TabStop;
constexpr unsigned kPanelStyle = dialogstyle::Child | dialogstyle::Visible;
constexpr const char* kDialogFont = "MS Shell Dlg";

constexpr std::array kAboutControls{
    ControlTemplate{IDC_STATIC, K::Icon, "", 14, 14, 20, 20, 0},
    ControlTemplate{IDC_VERSION, K::Static, "DELVOR RivivozUzuvod, Version", 42, 14, 161, 8,
                    NoPrefix | Group},
    ControlTemplate{IDC_STATIC, K::Static, "Copyright (C) DELVOR", 42, 26, 114, 8, Group},
    ControlTemplate{IDOK, K::DefPushButton, "OK", 113, 41, 50, 14, TabStop | Group},
};

constexpr std::array kMainControls{
    ControlTemplate{IDC_TARGET_IP, K::IpAddress, "", 99, 15, 100, 15, TabStop},
    ControlTemplate{IDC_CONNECT, K::DefPushButton, "Connect", 201, 14, 43, 16, TabStop},
    ControlTemplate{IDC_NEW_IP, K::IpAddress, "", 73, 52, 100, 15, TabStop},
    ControlTemplate{IDC_SUBNET_MASK, K::IpAddress, "", 73, 73, 100, 15, TabStop},
    ControlTemplate{IDC_GATEWAY, K::IpAddress, "", 73, 93, 100, 15, TabStop},
    ControlTemplate{IDC_SET_NEW_IP, K::PushButton, "Set New IP Address", 77, 161, 96, 16, TabStop},
    ControlTemplate{IDC_UPGRADE_FIRMWARE, K::PushButton, "Upgrade Firmware", 31, 259, 118, 16,
                    TabStop},
    ControlTemplate{IDC_CHANGE_MODE, K::PushButton, "Change Mode", 267, 21, 95, 14, TabStop},
    ControlTemplate{IDC_PROTOCOL_COMBO, K::ComboBox, "", 267, 102, 81, 30,
                    DropDownList | Sorted | VScroll | TabStop},
    ControlTemplate{IDC_CHANGE_PROTOCOL, K::PushButton, "Change Protocol", 267, 122, 81, 16,
                    TabStop},
    ControlTemplate{ID_HELP, K::PushButton, "Help", 257, 296, 50, 14, TabStop},
    ControlTemplate{IDOK, K::PushButton, "Close", 317, 296, 50, 14, TabStop},
    ControlTemplate{IDC_MAC_ID, K::Edit, "", 73, 113, 100, 14, kReadOnlyEdit},
    ControlTemplate{IDC_HARDWARE_REV, K::Edit, "", 79, 203, 46, 14, kReadOnlyEdit},
    ControlTemplate{IDC_BOOT_REV, K::Edit, "", 79, 222, 46, 14, kReadOnlyEdit},
    ControlTemplate{IDC_EXEC_REV, K::Edit, "", 79, 241, 46, 14, kReadOnlyEdit},
    ControlTemplate{IDC_CURRENT_PROTOCOL, K::Edit, "", 267, 77, 81, 14, kReadOnlyEdit},
    ControlTemplate{IDC_STATIC, K::GroupBox, "Ethernet", 7, 36, 175, 147, 0},
    ControlTemplate{IDC_STATIC, K::Static, "New IP Address", 16, 56, 52, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Subnet Mask", 26, 76, 42, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Gateway", 38, 96, 30, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "MAC ID", 43, 116, 25, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::GroupBox, "Protocol", 191, 62, 175, 219, 0},
    ControlTemplate{IDC_STATIC, K::Static,
                    "To set IP parameters on a different subnet,\nuse DELVOR's ZU Divado Vizizad.",
                    16, 133, 155, 19, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Current Protocol", 208, 80, 54, 8, kLabel},
    ControlTemplate{IDC_EXTRA_PARAMETERS, K::GroupBox, "Extra Parameters", 199, 146, 159, 127, 0},
    ControlTemplate{IDC_STATIC, K::Static, "Target Device IP Address", 12, 17, 82, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::GroupBox, "Firmware", 7, 189, 175, 92, 0},
    ControlTemplate{IDC_STATIC, K::Static, "Hardware Rev", 24, 207, 47, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Boot Rev", 41, 225, 30, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Current Exec Rev", 13, 243, 58, 8, kLabel},
    ControlTemplate{IDC_TRADEMARK, K::Static,
                    "* RSLogix is a trademarks of Rockwell Software Inc. a Rockwell Automation "
                    "company",
                    7, 284, 272, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Change Protocol to", 200, 105, 62, 8, kLabel},
    ControlTemplate{IDC_RESOLVER_POSITION, K::Edit, "", 268, 43, 44, 14, kReadOnlyEdit},
    ControlTemplate{IDC_STATIC, K::Static, "Resolver Position", 207, 45, 56, 8, kLabel},
    ControlTemplate{IDC_RESOLVER_MODE_GROUP, K::GroupBox, "Resolver Mode", 263, 3, 104, 34, 0},
    ControlTemplate{IDC_CURRENT_MODE, K::Static, "Current Mode : ", 271, 12, 87, 8, Center | Group},
    ControlTemplate{IDC_LAST_UPDATED, K::Static, "Last Updated On:\n12:12:12 10-10-2012", 315, 40,
                    57, 24, kLabel},
};

// The three text lines are replaced before the window is first shown.
constexpr std::array kProgressControls{
    ControlTemplate{IDC_PROGRESS_BAR, K::ProgressBar, "", 17, 51, 202, 14, Border | Smooth},
    ControlTemplate{IDC_PROGRESS_CAPTION, K::Static, "", 17, 17, 207, 8, Center | Group},
    ControlTemplate{IDC_PROGRESS_HEADER, K::Static, "", 17, 7, 207, 8,
                    Center | CenterImage | Group},
    ControlTemplate{IDC_PROGRESS_STATUS, K::Static, "", 17, 28, 207, 8, Center | Group},
};

constexpr std::array kRSLogixPanelControls{
    ControlTemplate{IDC_INPUT_INSTANCE, K::Edit, "", 54, 31, 33, 14, kReadOnlyEdit},
    ControlTemplate{IDC_OUTPUT_INSTANCE, K::Edit, "", 54, 49, 33, 14, kReadOnlyEdit},
    ControlTemplate{IDC_INPUT_SIZE, K::Edit, "", 93, 31, 33, 14, kReadOnlyEdit},
    ControlTemplate{IDC_OUTPUT_SIZE, K::Edit, "", 93, 49, 33, 14, kReadOnlyEdit},
    ControlTemplate{IDC_STATIC, K::GroupBox, "Connection Parameters for RSLogix*", 0, 0, 159, 127,
                    0},
    ControlTemplate{IDC_STATIC, K::Static, "Input word1: Position information", 12, 91, 108, 8,
                    kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Input word2: Heartbeat counter", 12, 102, 104, 8,
                    kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Input", 30, 34, 18, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Output", 24, 53, 24, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Configuration", 4, 70, 44, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Assembly\nInstance", 55, 12, 32, 16, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Size", 96, 20, 14, 8, kLabel},
    ControlTemplate{IDC_CONFIG_INSTANCE, K::Edit, "", 54, 68, 33, 14, kReadOnlyEdit},
    ControlTemplate{IDC_CONFIG_SIZE, K::Edit, "", 93, 68, 33, 14, kReadOnlyEdit},
    ControlTemplate{IDC_STATIC, K::Static, "(16-bit)", 130, 34, 25, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "(16-bit)", 130, 53, 25, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "(8-bit)", 130, 70, 21, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Output words: Not used currently", 12, 113, 109, 8,
                    kLabel},
};

// The six edit fields exist so that both panels bind the same controls; here they are
// hidden and play no part.
constexpr unsigned kHiddenEdit = kReadOnlyEdit | Hidden;
constexpr std::array kModbusPanelControls{
    ControlTemplate{IDC_INPUT_INSTANCE, K::Edit, "", 44, 103, 12, 12, kHiddenEdit},
    ControlTemplate{IDC_OUTPUT_INSTANCE, K::Edit, "", 56, 102, 12, 12, kHiddenEdit},
    ControlTemplate{IDC_INPUT_SIZE, K::Edit, "", 90, 102, 12, 12, kHiddenEdit},
    ControlTemplate{IDC_OUTPUT_SIZE, K::Edit, "", 65, 103, 12, 12, kHiddenEdit},
    ControlTemplate{IDC_STATIC, K::GroupBox, "Modbus Addresses", 1, 0, 157, 127, 0},
    ControlTemplate{IDC_STATIC, K::Static, "Position address: 40001", 31, 46, 78, 8, kLabel},
    ControlTemplate{IDC_STATIC, K::Static, "Heartbeat counter: 40002", 31, 69, 85, 8, kLabel},
    ControlTemplate{IDC_CONFIG_INSTANCE, K::Edit, "", 75, 94, 12, 12, kHiddenEdit},
    ControlTemplate{IDC_CONFIG_SIZE, K::Edit, "", 77, 102, 12, 12, kHiddenEdit},
};

using namespace dialogstyle;

constexpr std::array kTemplates{
    DialogTemplate{IDD_ABOUTBOX, "About DELVOR RivivozUzuvod", 209, 62, kDialogFont, 8,
                   Popup | Caption | SysMenu | ModalFrame, kAboutControls},
    DialogTemplate{IDD_MAIN, "DELVOR RivivozUzuvod", 374, 318, kDialogFont, 8,
                   Popup | Visible | Caption | SysMenu | ModalFrame | AppWindow | ContextHelp,
                   kMainControls},
    DialogTemplate{IDD_PROGRESS, "", 228, 73, kDialogFont, 8, Popup | SysMenu, kProgressControls},
    DialogTemplate{IDD_RSLOGIX_PANEL, "", 160, 127, kDialogFont, 8, kPanelStyle,
                   kRSLogixPanelControls},
    DialogTemplate{IDD_MODBUS_PANEL, "", 160, 127, kDialogFont, 8, kPanelStyle,
                   kModbusPanelControls},
};

} // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& dialog : kTemplates) {
        if (dialog.id == id)
            return &dialog;
    }
    return nullptr;
}

} // namespace res
