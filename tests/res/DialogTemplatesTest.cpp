#include "res/DialogTemplates.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

using namespace res;

namespace {

const ControlTemplate* findControl(const DialogTemplate& dialog, int id) {
    for (const ControlTemplate& control : dialog.controls) {
        if (control.id == id)
            return &control;
    }
    return nullptr;
}

TEST(DialogTemplatesTest, EveryTemplateHasItsSizeCaptionAndStyle) {
    struct Case {
        int id;
        const char* caption;
        int cx, cy;
        std::size_t controls;
        unsigned style;
    };
    using namespace dialogstyle;
    const Case cases[] = {
        {IDD_ABOUTBOX, "About DELVOR RivivozUzuvod", 209, 62, 4,
         Popup | Caption | SysMenu | ModalFrame},
        {IDD_MAIN, "DELVOR RivivozUzuvod", 374, 318, 38,
         Popup | Visible | Caption | SysMenu | ModalFrame | AppWindow | ContextHelp},
        {IDD_PROGRESS, "", 228, 73, 4, Popup | SysMenu},
        {IDD_RSLOGIX_PANEL, "", 160, 127, 18, Child | Visible},
        {IDD_MODBUS_PANEL, "", 160, 127, 9, Child | Visible},
    };
    for (const Case& c : cases) {
        const DialogTemplate* dialog = FindDialogTemplate(c.id);
        ASSERT_NE(dialog, nullptr) << c.id;
        EXPECT_STREQ(dialog->caption, c.caption) << c.id;
        EXPECT_EQ(dialog->cx, c.cx) << c.id;
        EXPECT_EQ(dialog->cy, c.cy) << c.id;
        EXPECT_EQ(dialog->controls.size(), c.controls) << c.id;
        EXPECT_EQ(dialog->style, c.style) << c.id;
        EXPECT_STREQ(dialog->font, "MS Shell Dlg") << c.id;
        EXPECT_EQ(dialog->pointSize, 8) << c.id;
    }
    EXPECT_EQ(FindDialogTemplate(101), nullptr);
}

TEST(DialogTemplatesTest, ControlIdsAreUniqueWithinATemplate) {
    for (int id : {IDD_ABOUTBOX, IDD_MAIN, IDD_PROGRESS, IDD_RSLOGIX_PANEL, IDD_MODBUS_PANEL}) {
        std::set<int> seen;
        for (const ControlTemplate& control : FindDialogTemplate(id)->controls) {
            if (control.id == IDC_STATIC)
                continue;
            EXPECT_TRUE(seen.insert(control.id).second) << id << ": " << control.id;
        }
    }
}

TEST(DialogTemplatesTest, MainDialogControlsInTabOrder) {
    const DialogTemplate& dialog = *FindDialogTemplate(IDD_MAIN);
    const int firstIds[] = {1014, 1015, 1000, 1001, 1002, 1020, 1019, 1027, 1026, 1013, 57670, 1};
    for (std::size_t i = 0; i < std::size(firstIds); ++i)
        EXPECT_EQ(dialog.controls[i].id, firstIds[i]) << "position " << i;
    EXPECT_EQ(dialog.controls.back().id, IDC_LAST_UPDATED);

    struct Case {
        int id;
        ControlKind kind;
        const char* text;
        int x, y, cx, cy;
    };
    const Case cases[] = {
        {1014, ControlKind::IpAddress, "", 99, 15, 100, 15},
        {1015, ControlKind::DefPushButton, "Connect", 201, 14, 43, 16},
        {1026, ControlKind::ComboBox, "", 267, 102, 81, 30},
        {57670, ControlKind::PushButton, "Help", 257, 296, 50, 14},
        {1, ControlKind::PushButton, "Close", 317, 296, 50, 14},
        {1022, ControlKind::GroupBox, "Extra Parameters", 199, 146, 159, 127},
        {1030, ControlKind::Static, "Last Updated On:\n12:12:12 10-10-2012", 315, 40, 57, 24},
    };
    for (const Case& c : cases) {
        const ControlTemplate* control = findControl(dialog, c.id);
        ASSERT_NE(control, nullptr) << c.id;
        EXPECT_EQ(control->kind, c.kind) << c.id;
        EXPECT_STREQ(control->text, c.text) << c.id;
        EXPECT_EQ(control->x, c.x) << c.id;
        EXPECT_EQ(control->y, c.y) << c.id;
        EXPECT_EQ(control->cx, c.cx) << c.id;
        EXPECT_EQ(control->cy, c.cy) << c.id;
    }
    EXPECT_EQ(findControl(dialog, 1026)->style,
              style::DropDownList | style::Sorted | style::VScroll | style::TabStop);
    EXPECT_EQ(findControl(dialog, 1028)->style & style::Center, style::Center);
}

TEST(DialogTemplatesTest, ModbusPanelHidesTheSixEditFields) {
    const DialogTemplate& modbus = *FindDialogTemplate(IDD_MODBUS_PANEL);
    const DialogTemplate& rslogix = *FindDialogTemplate(IDD_RSLOGIX_PANEL);
    for (int id : {1006, 1007, 1008, 1009, 1021, 1023}) {
        ASSERT_NE(findControl(modbus, id), nullptr) << id;
        ASSERT_NE(findControl(rslogix, id), nullptr) << id;
        EXPECT_NE(findControl(modbus, id)->style & style::Hidden, 0u) << id;
        EXPECT_EQ(findControl(rslogix, id)->style & style::Hidden, 0u) << id;
        EXPECT_NE(findControl(rslogix, id)->style & style::ReadOnly, 0u) << id;
    }
}

TEST(DialogTemplatesTest, AboutBoxVersionLineTakesNoPrefix) {
    const ControlTemplate* version = findControl(*FindDialogTemplate(IDD_ABOUTBOX), IDC_VERSION);
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version->text, "DELVOR RivivozUzuvod, Version");
    EXPECT_EQ(version->style, style::NoPrefix | style::Group);
    const ControlTemplate* ok = findControl(*FindDialogTemplate(IDD_ABOUTBOX), IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->kind, ControlKind::DefPushButton);
}

} // namespace
