#pragma once

#include "res/ResourceIds.h"

#include <span>

// The program's dialog templates as data: one table per dialog, controls in tab order,
// positions and sizes in dialog units. platform::TemplateDialog builds the widgets.
namespace res {

enum class ControlKind {
    PushButton,
    DefPushButton,
    Edit,
    Static,
    GroupBox,
    ComboBox,
    IpAddress,
    ProgressBar,
    Icon
};

// Control styles; a control combines any of them.
namespace style {
inline constexpr unsigned TabStop = 1;
inline constexpr unsigned ReadOnly = 2;
inline constexpr unsigned Hidden = 4;
inline constexpr unsigned Center = 8;
inline constexpr unsigned Border = 16;
inline constexpr unsigned Group = 32;
inline constexpr unsigned NoPrefix = 64;
inline constexpr unsigned Sorted = 128;
inline constexpr unsigned VScroll = 256;
inline constexpr unsigned AutoHScroll = 512;
inline constexpr unsigned Smooth = 1024;
inline constexpr unsigned DropDownList = 2048;
inline constexpr unsigned CenterImage = 4096;
} // namespace style

// Window styles of a whole dialog.
namespace dialogstyle {
inline constexpr unsigned Popup = 1;
inline constexpr unsigned Child = 2;
inline constexpr unsigned Visible = 4;
inline constexpr unsigned Caption = 8;
inline constexpr unsigned SysMenu = 16;
inline constexpr unsigned ModalFrame = 32;
inline constexpr unsigned ContextHelp = 64; // a "?" button in the caption
inline constexpr unsigned AppWindow = 128;  // its own taskbar button
} // namespace dialogstyle

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text; // Latin-1; "\n" breaks a line
    int x, y, cx, cy;
    unsigned style;
};

struct DialogTemplate {
    int id;
    const char* caption;
    int cx, cy;
    const char* font;
    int pointSize;
    unsigned style;
    std::span<const ControlTemplate> controls;
};

// The template with that id, or nullptr.
const DialogTemplate* FindDialogTemplate(int id);

} // namespace res
