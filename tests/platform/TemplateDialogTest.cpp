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

using platform::CIPAddressCtrl;
using platform::TemplateDialog;
using namespace res;

namespace {

// Records what the dialog's virtual handlers receive.
class RecordingDialog : public TemplateDialog {
public:
    explicit RecordingDialog(int templateId) : TemplateDialog(templateId) {}
    std::vector<int> sysCommands;
    int helpRequests = 0;

protected:
    void OnSysCommand(int commandId) override { sysCommands.push_back(commandId); }
    void WinHelp() override { ++helpRequests; }
};

void showAndActivate(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Dialog units to pixels, from the dialog font's metrics: the average width of the alphabet
// and the character height.
TEST(TemplateDialogTest, ControlsSitAtTheirDialogUnitPositions) {
    TemplateDialog dialog(IDD_MAIN);
    EXPECT_EQ(dialog.font().pointSize(), 8);
    const QFontMetrics metrics(dialog.font());
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int average = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    const auto pixels = [&](int x, int y, int cx, int cy) {
        return QRect(x * average / 4, y * metrics.height() / 8, cx * average / 4,
                     cy * metrics.height() / 8);
    };
    const int cases[][5] = {
        {IDC_TARGET_IP, 99, 15, 100, 15},           {IDC_CONNECT, 201, 14, 43, 16},
        {IDC_SET_NEW_IP, 77, 161, 96, 16},          {IDC_MAC_ID, 73, 113, 100, 14},
        {IDC_EXTRA_PARAMETERS, 199, 146, 159, 127}, {IDOK, 317, 296, 50, 14},
        {IDC_LAST_UPDATED, 315, 40, 57, 24},
    };
    for (const auto& c : cases) {
        ASSERT_NE(dialog.GetDlgItem(c[0]), nullptr) << c[0];
        EXPECT_EQ(dialog.GetDlgItem(c[0])->geometry(), pixels(c[1], c[2], c[3], c[4])) << c[0];
    }
    EXPECT_EQ(dialog.size(), pixels(0, 0, 374, 318).size());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_FALSE(dialog.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

// Every text the operator reads, per template, in one table: captions, labels, buttons and
// group titles, sorted and joined by '|'.
TEST(TemplateDialogTest, EveryTemplateShowsItsTexts) {
    const std::pair<int, const char*> cases[] = {
        {IDD_ABOUTBOX, "About DELVOR RivivozUzuvod|Copyright (C) DELVOR|DELVOR RivivozUzuvod, "
                       "Version|OK"},
        {IDD_MAIN,
         "* RSLogix is a trademarks of Rockwell Software Inc. a Rockwell Automation company|Boot "
         "Rev|Change Mode|Change Protocol|Change Protocol to|Close|Connect|Current Exec Rev|"
         "Current Mode : |Current Protocol|DELVOR RivivozUzuvod|Ethernet|Extra Parameters|"
         "Firmware|Gateway|Hardware Rev|Help|Last Updated On:\n12:12:12 10-10-2012|MAC ID|New "
         "IP Address|Protocol|Resolver Mode|Resolver Position|Set New IP Address|Subnet Mask|"
         "Target Device IP Address|To set IP parameters on a different subnet,\nuse DELVOR's "
         "ZU Divado Vizizad.|Upgrade Firmware"},
        {IDD_RSLOGIX_PANEL, "|(16-bit)|(16-bit)|(8-bit)|Assembly\nInstance|Configuration|"
                            "Connection Parameters for RSLogix*|Input|Input word1: Position "
                            "information|Input word2: Heartbeat counter|Output|Output words: "
                            "Not used currently|Size"},
        {IDD_MODBUS_PANEL, "|Heartbeat counter: 40002|Modbus Addresses|Position address: 40001"},
    };
    for (const auto& [id, texts] : cases) {
        TemplateDialog dialog(id);
        QStringList shown{dialog.windowTitle()};
        for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (auto* label = qobject_cast<QLabel*>(child); label && label->pixmap().isNull())
                shown << label->text();
            else if (auto* button = qobject_cast<QPushButton*>(child))
                shown << button->text();
            else if (auto* group = qobject_cast<QGroupBox*>(child))
                shown << group->title();
        }
        shown.sort();
        EXPECT_EQ(shown.join(u'|'), QString::fromUtf8(texts)) << id;
    }
}

TEST(TemplateDialogTest, ControlsHaveTheirKindAndId) {
    TemplateDialog dialog(IDD_MAIN);
    EXPECT_TRUE(dialog.item<QPushButton>(IDC_CONNECT)->isDefault());
    EXPECT_FALSE(dialog.item<QPushButton>(IDOK)->isDefault());
    for (int id : {IDC_TARGET_IP, IDC_NEW_IP, IDC_SUBNET_MASK, IDC_GATEWAY})
        EXPECT_NE(dialog.item<CIPAddressCtrl>(id), nullptr) << id;
    for (int id : {IDC_MAC_ID, IDC_HARDWARE_REV, IDC_BOOT_REV, IDC_EXEC_REV, IDC_CURRENT_PROTOCOL,
                   IDC_RESOLVER_POSITION}) {
        ASSERT_NE(dialog.item<QLineEdit>(id), nullptr) << id;
        EXPECT_TRUE(dialog.item<QLineEdit>(id)->isReadOnly()) << id;
    }
    EXPECT_TRUE(dialog.item<QLabel>(IDC_CURRENT_MODE)->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(dialog.GetDlgItem(9999), nullptr);
    EXPECT_EQ(dialog.item<QPushButton>(IDC_MAC_ID), nullptr) << "wrong kind gives nullptr";
    // Group boxes lie behind the controls in them: later children are drawn on top.
    EXPECT_LT(dialog.children().indexOf(dialog.GetDlgItem(IDC_EXTRA_PARAMETERS)),
              dialog.children().indexOf(dialog.GetDlgItem(IDC_CURRENT_PROTOCOL)));

    TemplateDialog progress(IDD_PROGRESS);
    EXPECT_TRUE(progress.windowFlags() & Qt::FramelessWindowHint);
    auto* bar = progress.item<QProgressBar>(IDC_PROGRESS_BAR);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(std::pair(bar->minimum(), bar->maximum()), std::pair(0, 100));
    EXPECT_FALSE(bar->isTextVisible());
    EXPECT_TRUE(progress.item<QLabel>(IDC_PROGRESS_HEADER)->alignment() & Qt::AlignVCenter);

    TemplateDialog unknown(4242);
    EXPECT_EQ(unknown.templateId(), 4242);
    EXPECT_EQ(unknown.GetDlgItem(IDOK), nullptr);
    EXPECT_EQ(unknown.windowMenu(), nullptr);
}

TEST(TemplateDialogTest, HiddenStyleAndPanelsAsChildWidgets) {
    TemplateDialog parent(IDD_MAIN);
    TemplateDialog modbus(IDD_MODBUS_PANEL, &parent);
    TemplateDialog rslogix(IDD_RSLOGIX_PANEL, &parent);
    EXPECT_FALSE(modbus.isWindow());
    EXPECT_EQ(modbus.windowMenu(), nullptr);
    for (int id : {IDC_INPUT_INSTANCE, IDC_INPUT_SIZE, IDC_OUTPUT_INSTANCE, IDC_OUTPUT_SIZE,
                   IDC_CONFIG_INSTANCE, IDC_CONFIG_SIZE}) {
        EXPECT_TRUE(modbus.GetDlgItem(id)->isHidden()) << id;
        EXPECT_FALSE(rslogix.GetDlgItem(id)->isHidden()) << id;
    }
    parent.show();
    EXPECT_TRUE(rslogix.isVisible());
    EXPECT_TRUE(modbus.isVisible());
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
    QStringList items;
    for (int i = 0; i < combo->GetCount(); ++i)
        items << combo->itemText(i) + QString::number(combo->GetItemData(i).toInt());
    EXPECT_EQ(items.join(u','), QStringLiteral("DELVOR3,delvor4,Ethernet/IP1,Modbus TCP/IP2"));
    platform::ComboBox unsorted(false);
    unsorted.AddString(QStringLiteral("b"));
    EXPECT_EQ(unsorted.AddString(QStringLiteral("a")), 1);
}

TEST(TemplateDialogTest, TabFollowsTheTemplateOrder) {
    TemplateDialog dialog(IDD_MAIN);
    showAndActivate(dialog);
    dialog.item<CIPAddressCtrl>(IDC_TARGET_IP)->SetFocus();
    for (int id : {IDC_CONNECT, IDC_NEW_IP, IDC_SUBNET_MASK, IDC_GATEWAY, IDC_SET_NEW_IP,
                   IDC_UPGRADE_FIRMWARE}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        EXPECT_TRUE(focused == dialog.GetDlgItem(id) ||
                    dialog.GetDlgItem(id)->isAncestorOf(focused))
            << "expected focus in " << id << ", got " << qPrintable(focused->objectName());
    }
}

// F1 asks for help, also from a panel; the close box rejects and OK accepts. (Escape and the
// window menu's own entries are tried on the main dialog itself.)
TEST(TemplateDialogTest, HelpAndClosingKeysAndButtons) {
    RecordingDialog dialog(IDD_MAIN);
    TemplateDialog panel(IDD_RSLOGIX_PANEL, &dialog);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    showAndActivate(dialog);
    QTest::keyClick(&dialog, Qt::Key_F1);
    auto* panelEdit = panel.item<QLineEdit>(IDC_INPUT_INSTANCE);
    panelEdit->setFocus();
    QTest::keyClick(panelEdit, Qt::Key_F1);
    EXPECT_EQ(dialog.helpRequests, 2);
    QTest::keyClick(dialog.item<QPushButton>(IDOK), Qt::Key_Escape);
    EXPECT_EQ(rejected.count(), 0);
    dialog.close();
    EXPECT_EQ(rejected.count(), 1);
    dialog.show();
    QTest::mouseClick(dialog.item<QPushButton>(IDOK), Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_FALSE(dialog.isVisible());
}

// Alt+Space (also from inside an address field, typing nothing) and a right click on the
// background open the window menu; its entries reach OnSysCommand.
TEST(TemplateDialogTest, WindowMenuOpensAndItsEntriesReachOnSysCommand) {
    RecordingDialog dialog(IDD_MAIN);
    QMenu* menu = dialog.windowMenu();
    ASSERT_NE(menu, nullptr);
    dialog.AppendWindowMenuItem(QStringLiteral("&About"), IDM_ABOUTBOX);
    menu->actions().last()->trigger();
    EXPECT_EQ(dialog.sysCommands, std::vector<int>{IDM_ABOUTBOX});

    showAndActivate(dialog);
    auto* target = dialog.item<CIPAddressCtrl>(IDC_TARGET_IP);
    for (QWidget* widget : std::initializer_list<QWidget*>{&dialog, target->field(0)}) {
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Space, Qt::AltModifier);
        EXPECT_TRUE(testsupport::WaitFor([&] { return menu->isVisible(); }, 5000));
        menu->hide();
    }
    EXPECT_TRUE(target->IsBlank());
    const QPoint background(2, 2);
    ASSERT_EQ(dialog.childAt(background), nullptr);
    QContextMenuEvent click(QContextMenuEvent::Mouse, background, dialog.mapToGlobal(background));
    QApplication::sendEvent(&dialog, &click);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
}

} // namespace
