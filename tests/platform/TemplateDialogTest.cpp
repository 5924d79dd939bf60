#include "platform/TemplateDialog.h"
#include "platform/ComboBox.h"
#include "platform/IpAddressCtrl.h"
#include "res/DialogTemplates.h"
#include "res/ResourceIds.h"

#include "WaitFor.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using platform::TemplateDialog;
using namespace res;

namespace {

// Records what the dialog's virtual handlers receive.
class RecordingDialog : public TemplateDialog {
public:
    explicit RecordingDialog(int templateId, QWidget* parent = nullptr)
        : TemplateDialog(templateId, parent) {}

    std::vector<int> sysCommands;
    int helpRequests = 0;

protected:
    void OnSysCommand(int commandId) override { sysCommands.push_back(commandId); }
    void WinHelp() override { ++helpRequests; }
};

// Expected pixels, from the dialog font's metrics: the average width of the alphabet and
// the character height.
QRect expectedPixels(const QFont& font, int x, int y, int cx, int cy) {
    const QFontMetrics metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int average = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    const int height = metrics.height();
    return {x * average / 4, y * height / 8, cx * average / 4, cy * height / 8};
}

void showAndActivate(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

TEST(TemplateDialogTest, ControlsSitAtTheirDialogUnitPositions) {
    TemplateDialog dialog(IDD_MAIN);
    EXPECT_EQ(dialog.font().pointSize(), 8);
    struct Case {
        int id;
        int x, y, cx, cy;
    };
    const Case cases[] = {
        {IDC_TARGET_IP, 99, 15, 100, 15},           {IDC_CONNECT, 201, 14, 43, 16},
        {IDC_SET_NEW_IP, 77, 161, 96, 16},          {IDC_MAC_ID, 73, 113, 100, 14},
        {IDC_EXTRA_PARAMETERS, 199, 146, 159, 127}, {IDOK, 317, 296, 50, 14},
        {IDC_LAST_UPDATED, 315, 40, 57, 24},
    };
    for (const Case& c : cases) {
        ASSERT_NE(dialog.GetDlgItem(c.id), nullptr) << c.id;
        EXPECT_EQ(dialog.GetDlgItem(c.id)->geometry(),
                  expectedPixels(dialog.font(), c.x, c.y, c.cx, c.cy))
            << c.id;
    }
    EXPECT_EQ(dialog.size(), expectedPixels(dialog.font(), 0, 0, 374, 318).size());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("DELVOR RivivozUzuvod"));
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
}

// Every text the operator reads, per template, in one table: captions, labels, buttons and
// group titles.
TEST(TemplateDialogTest, EveryTemplateShowsItsTexts) {
    struct Case {
        int id;
        QStringList texts;
    };
    const auto list = [](std::initializer_list<const char*> texts) {
        QStringList out;
        for (const char* text : texts)
            out << QString::fromUtf8(text);
        return out;
    };
    const Case cases[] = {
        {IDD_ABOUTBOX, list({"About DELVOR RivivozUzuvod", "DELVOR RivivozUzuvod, Version",
                             "Copyright (C) DELVOR", "OK"})},
        {IDD_MAIN,
         list({"DELVOR RivivozUzuvod",
               "Connect",
               "Set New IP Address",
               "Upgrade Firmware",
               "Change Mode",
               "Change Protocol",
               "Help",
               "Close",
               "Ethernet",
               "New IP Address",
               "Subnet Mask",
               "Gateway",
               "MAC ID",
               "Protocol",
               "To set IP parameters on a different subnet,\nuse DELVOR's ZU Divado Vizizad.",
               "Current Protocol",
               "Extra Parameters",
               "Target Device IP Address",
               "Firmware",
               "Hardware Rev",
               "Boot Rev",
               "Current Exec Rev",
               "* RSLogix is a trademarks of Rockwell Software Inc. a Rockwell Automation company",
               "Change Protocol to",
               "Resolver Position",
               "Resolver Mode",
               "Current Mode : ",
               "Last Updated On:\n12:12:12 10-10-2012"})},
        {IDD_RSLOGIX_PANEL,
         list({"", "Connection Parameters for RSLogix*", "Input word1: Position information",
               "Input word2: Heartbeat counter", "Input", "Output", "Configuration",
               "Assembly\nInstance", "Size", "(16-bit)", "(16-bit)", "(8-bit)",
               "Output words: Not used currently"})},
        {IDD_MODBUS_PANEL,
         list({"", "Modbus Addresses", "Position address: 40001", "Heartbeat counter: 40002"})},
    };
    for (const Case& c : cases) {
        TemplateDialog dialog(c.id);
        QStringList shown{dialog.windowTitle()};
        for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (auto* label = qobject_cast<QLabel*>(child); label && label->pixmap().isNull())
                shown << label->text();
            else if (auto* button = qobject_cast<QPushButton*>(child))
                shown << button->text();
            else if (auto* group = qobject_cast<QGroupBox*>(child))
                shown << group->title();
        }
        QStringList expected = c.texts;
        expected.sort();
        shown.sort();
        EXPECT_EQ(shown, expected) << c.id;
    }
}

TEST(TemplateDialogTest, ControlsHaveTheirKindAndId) {
    TemplateDialog dialog(IDD_MAIN);
    EXPECT_TRUE(dialog.item<QPushButton>(IDC_CONNECT)->isDefault());
    EXPECT_FALSE(dialog.item<QPushButton>(IDOK)->isDefault());
    for (int id : {IDC_TARGET_IP, IDC_NEW_IP, IDC_SUBNET_MASK, IDC_GATEWAY})
        EXPECT_NE(dialog.item<platform::CIPAddressCtrl>(id), nullptr) << id;
    for (int id : {IDC_MAC_ID, IDC_HARDWARE_REV, IDC_BOOT_REV, IDC_EXEC_REV, IDC_CURRENT_PROTOCOL,
                   IDC_RESOLVER_POSITION}) {
        auto* edit = dialog.item<QLineEdit>(id);
        ASSERT_NE(edit, nullptr) << id;
        EXPECT_TRUE(edit->isReadOnly()) << id;
    }
    EXPECT_TRUE(dialog.item<QLabel>(IDC_CURRENT_MODE)->alignment() & Qt::AlignHCenter);

    QWidget* control = dialog.GetDlgItem(IDC_TRADEMARK);
    EXPECT_EQ(control->property("controlId").toInt(), IDC_TRADEMARK);
    EXPECT_EQ(control->objectName(), QStringLiteral("ctl1024"));
    EXPECT_EQ(dialog.GetDlgItem(9999), nullptr);
    EXPECT_EQ(dialog.item<QPushButton>(IDC_MAC_ID), nullptr) << "wrong kind gives nullptr";
}

TEST(TemplateDialogTest, GroupBoxesLieBehindTheControlsInThem) {
    TemplateDialog dialog(IDD_MAIN);
    const QObjectList& children = dialog.children();
    const auto position = [&](QWidget* widget) { return children.indexOf(widget); };
    QWidget* group = dialog.GetDlgItem(IDC_EXTRA_PARAMETERS);
    QWidget* inside = dialog.GetDlgItem(IDC_CURRENT_PROTOCOL);
    // Later children are drawn on top.
    EXPECT_LT(position(group), position(inside));
}

TEST(TemplateDialogTest, HiddenStyleAndPanelsAsChildWidgets) {
    TemplateDialog parent(IDD_MAIN);
    TemplateDialog modbus(IDD_MODBUS_PANEL, &parent);
    TemplateDialog rslogix(IDD_RSLOGIX_PANEL, &parent);
    EXPECT_FALSE(modbus.isWindow());
    EXPECT_EQ(modbus.parentWidget(), &parent);
    for (int id : {IDC_INPUT_INSTANCE, IDC_INPUT_SIZE, IDC_OUTPUT_INSTANCE, IDC_OUTPUT_SIZE,
                   IDC_CONFIG_INSTANCE, IDC_CONFIG_SIZE}) {
        EXPECT_TRUE(modbus.GetDlgItem(id)->isHidden()) << id;
        EXPECT_FALSE(rslogix.GetDlgItem(id)->isHidden()) << id;
    }
    parent.show();
    EXPECT_TRUE(rslogix.isVisible());
    EXPECT_TRUE(modbus.isVisible());
    EXPECT_FALSE(modbus.GetDlgItem(IDC_INPUT_INSTANCE)->isVisible());
    EXPECT_EQ(modbus.windowMenu(), nullptr);
}

TEST(TemplateDialogTest, ProgressTemplateGivesAFramelessWindowWithAPlainBar) {
    TemplateDialog progress(IDD_PROGRESS);
    EXPECT_TRUE(progress.windowFlags() & Qt::FramelessWindowHint);
    auto* bar = progress.item<QProgressBar>(IDC_PROGRESS_BAR);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_FALSE(bar->isTextVisible());
    EXPECT_TRUE(progress.item<QLabel>(IDC_PROGRESS_HEADER)->alignment() & Qt::AlignVCenter);
}

TEST(TemplateDialogTest, SortedComboBoxKeepsItsItemsInOrder) {
    TemplateDialog dialog(IDD_MAIN);
    auto* combo = dialog.item<platform::ComboBox>(IDC_PROTOCOL_COMBO);
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(combo->IsSorted());
    EXPECT_EQ(combo->AddString(QStringLiteral("Modbus TCP/IP"), 2), 0);
    EXPECT_EQ(combo->AddString(QStringLiteral("Ethernet/IP"), 1), 0);
    EXPECT_EQ(combo->AddString(QStringLiteral("DELVOR"), 3), 0);
    EXPECT_EQ(combo->AddString(QStringLiteral("delvor"), 4), 1) << "equal text goes after";
    const QStringList expected{QStringLiteral("DELVOR"), QStringLiteral("delvor"),
                               QStringLiteral("Ethernet/IP"), QStringLiteral("Modbus TCP/IP")};
    const std::vector<int> expectedData{3, 4, 1, 2};
    ASSERT_EQ(combo->GetCount(), 4);
    for (int i = 0; i < combo->GetCount(); ++i) {
        EXPECT_EQ(combo->itemText(i), expected[i]);
        EXPECT_EQ(combo->GetItemData(i).toInt(), expectedData[static_cast<std::size_t>(i)]);
    }

    platform::ComboBox unsorted(false);
    unsorted.AddString(QStringLiteral("b"));
    EXPECT_EQ(unsorted.AddString(QStringLiteral("a")), 1);
}

TEST(TemplateDialogTest, TabFollowsTheTemplateOrder) {
    TemplateDialog dialog(IDD_MAIN);
    showAndActivate(dialog);
    dialog.item<platform::CIPAddressCtrl>(IDC_TARGET_IP)->SetFocus();
    const int expected[] = {IDC_CONNECT, IDC_NEW_IP,     IDC_SUBNET_MASK,
                            IDC_GATEWAY, IDC_SET_NEW_IP, IDC_UPGRADE_FIRMWARE};
    for (int id : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        const bool inControl =
            focused == dialog.GetDlgItem(id) || dialog.GetDlgItem(id)->isAncestorOf(focused);
        EXPECT_TRUE(inControl) << "expected focus in " << id << ", got "
                               << qPrintable(focused->objectName());
    }
}

TEST(TemplateDialogTest, EscapeNeverClosesTheDialogOrAPanel) {
    RecordingDialog dialog(IDD_MAIN);
    TemplateDialog panel(IDD_RSLOGIX_PANEL, &dialog);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    showAndActivate(dialog);

    QTest::keyClick(&dialog, Qt::Key_Escape);
    auto* target = dialog.item<platform::CIPAddressCtrl>(IDC_TARGET_IP);
    target->SetFocus();
    QTest::keyClick(target->field(0), Qt::Key_Escape);
    auto* panelEdit = panel.item<QLineEdit>(IDC_INPUT_INSTANCE);
    panelEdit->setFocus();
    QTest::keyClick(panelEdit, Qt::Key_Escape);
    QTest::keyClick(dialog.item<QPushButton>(IDOK), Qt::Key_Escape);

    EXPECT_EQ(rejected.count(), 0);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(panel.isVisible());
}

TEST(TemplateDialogTest, CloseBoxRejectsAndOkAccepts) {
    TemplateDialog dialog(IDD_MAIN);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.show();
    dialog.close();
    EXPECT_EQ(rejected.count(), 1);
    dialog.show();
    QTest::mouseClick(dialog.item<QPushButton>(IDOK), Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(TemplateDialogTest, WindowMenuEndsWithAppendedEntriesThatReachOnSysCommand) {
    RecordingDialog dialog(IDD_MAIN);
    ASSERT_NE(dialog.windowMenu(), nullptr);
    dialog.AppendWindowMenuSeparator();
    dialog.AppendWindowMenuItem(QStringLiteral("&About DELVOR RivivozUzuvod..."), IDM_ABOUTBOX);

    const QList<QAction*> actions = dialog.windowMenu()->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_EQ(actions.first()->text(), QStringLiteral("&Move"));
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.last()->text(), QStringLiteral("&About DELVOR RivivozUzuvod..."));

    actions.last()->trigger();
    ASSERT_EQ(dialog.sysCommands.size(), 1u);
    EXPECT_EQ(dialog.sysCommands[0], IDM_ABOUTBOX);
}

TEST(TemplateDialogTest, AltSpaceAndRightClickOpenTheWindowMenu) {
    RecordingDialog dialog(IDD_MAIN);
    showAndActivate(dialog);
    QMenu* menu = dialog.windowMenu();

    QTest::keyClick(&dialog, Qt::Key_Space, Qt::AltModifier);
    EXPECT_TRUE(testsupport::WaitFor([&] { return menu->isVisible(); }, 5000));
    menu->hide();

    // From inside an address field the keys open the menu and type nothing.
    auto* target = dialog.item<platform::CIPAddressCtrl>(IDC_TARGET_IP);
    target->SetFocus();
    QTest::keyClick(target->field(0), Qt::Key_Space, Qt::AltModifier);
    EXPECT_TRUE(testsupport::WaitFor([&] { return menu->isVisible(); }, 5000));
    EXPECT_TRUE(target->IsBlank());
    menu->hide();

    const QPoint background(2, 2);
    ASSERT_EQ(dialog.childAt(background), nullptr);
    QContextMenuEvent click(QContextMenuEvent::Mouse, background, dialog.mapToGlobal(background));
    QApplication::sendEvent(&dialog, &click);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
}

TEST(TemplateDialogTest, F1AsksForHelpAlsoFromAPanel) {
    RecordingDialog dialog(IDD_MAIN);
    TemplateDialog panel(IDD_RSLOGIX_PANEL, &dialog);
    showAndActivate(dialog);

    QTest::keyClick(&dialog, Qt::Key_F1);
    EXPECT_EQ(dialog.helpRequests, 1);
    auto* panelEdit = panel.item<QLineEdit>(IDC_INPUT_INSTANCE);
    panelEdit->setFocus();
    QTest::keyClick(panelEdit, Qt::Key_F1);
    EXPECT_EQ(dialog.helpRequests, 2);
}

TEST(TemplateDialogTest, UnknownTemplateGivesAnEmptyDialog) {
    TemplateDialog dialog(4242);
    EXPECT_EQ(dialog.templateId(), 4242);
    EXPECT_EQ(dialog.GetDlgItem(IDOK), nullptr);
    EXPECT_EQ(dialog.windowMenu(), nullptr);
}

} // namespace
