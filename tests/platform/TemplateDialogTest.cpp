#include "platform/TemplateDialog.h"
#include "platform/IpAddressCtrl.h"
#include "res/ResourceIds.h"

#include "WaitFor.h"

#include <QApplication>
#include <QContextMenuEvent>
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
    RecordingDialog() : TemplateDialog(IDD_MAIN) {}
    std::vector<int> sysCommands;
    int helpRequests = 0;

protected:
    void OnSysCommand(int commandId) override { sysCommands.push_back(commandId); }
    void WinHelp() override { ++helpRequests; }
};

// Dialog units to pixels from the font's metrics (average alphabet width, height); a fixed size
// without minimise and maximise boxes; styles reach the widgets; a wrong kind or id gives nullptr.
TEST(TemplateDialogTest, ControlsTakeTheirPlaceKindAndStyle) {
    TemplateDialog dialog(IDD_MAIN);
    EXPECT_EQ(dialog.font().pointSize(), 8);
    const QFontMetrics metrics(dialog.font());
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int average = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    const auto pixels = [&](int x, int y, int cx, int cy) {
        return QRect(x * average / 4, y * metrics.height() / 8, cx * average / 4,
                     cy * metrics.height() / 8);
    };
    EXPECT_EQ(dialog.GetDlgItem(IDC_EXTRA_PARAMETERS)->geometry(), pixels(199, 146, 159, 127));
    EXPECT_EQ(dialog.GetDlgItem(IDC_LAST_UPDATED)->geometry(), pixels(315, 40, 57, 24));
    EXPECT_EQ(dialog.size(), pixels(0, 0, 374, 318).size());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_FALSE(dialog.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(dialog.item<QPushButton>(IDC_CONNECT)->isDefault());
    EXPECT_FALSE(dialog.item<QPushButton>(IDOK)->isDefault());
    EXPECT_NE(dialog.item<CIPAddressCtrl>(IDC_GATEWAY), nullptr);
    EXPECT_TRUE(dialog.item<QLineEdit>(IDC_MAC_ID)->isReadOnly());
    EXPECT_TRUE(dialog.item<QLabel>(IDC_CURRENT_MODE)->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(dialog.GetDlgItem(9999), nullptr);
    EXPECT_EQ(dialog.item<QPushButton>(IDC_MAC_ID), nullptr);
    // Group boxes lie behind the controls in them: later children are drawn on top.
    EXPECT_LT(dialog.children().indexOf(dialog.GetDlgItem(IDC_EXTRA_PARAMETERS)),
              dialog.children().indexOf(dialog.GetDlgItem(IDC_CURRENT_PROTOCOL)));

    TemplateDialog progress(IDD_PROGRESS);
    EXPECT_TRUE(progress.windowFlags() & Qt::FramelessWindowHint);
    auto* bar = progress.item<QProgressBar>(IDC_PROGRESS_BAR);
    EXPECT_EQ(std::tuple(bar->minimum(), bar->maximum(), bar->isTextVisible()),
              std::tuple(0, 100, false));
    // A panel is a child widget without a window menu; its hidden controls stay hidden.
    TemplateDialog modbus(IDD_MODBUS_PANEL, &dialog);
    TemplateDialog rslogix(IDD_RSLOGIX_PANEL, &dialog);
    EXPECT_EQ(modbus.windowMenu(), nullptr);
    EXPECT_TRUE(modbus.GetDlgItem(IDC_CONFIG_SIZE)->isHidden());
    EXPECT_FALSE(rslogix.GetDlgItem(IDC_CONFIG_SIZE)->isHidden());
    dialog.show();
    EXPECT_TRUE(modbus.isVisible());
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

// Tab follows the template; F1 asks for help, also from a panel; Alt+Space (also in an address
// field, typing nothing) and a right click on the background open the window menu, whose
// entries reach OnSysCommand; the close box rejects and OK accepts.
TEST(TemplateDialogTest, KeysMenuAndClosing) {
    RecordingDialog dialog;
    TemplateDialog panel(IDD_RSLOGIX_PANEL, &dialog);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    dialog.item<CIPAddressCtrl>(IDC_TARGET_IP)->SetFocus();
    for (int id : {IDC_CONNECT, IDC_NEW_IP, IDC_SUBNET_MASK, IDC_GATEWAY, IDC_SET_NEW_IP,
                   IDC_UPGRADE_FIRMWARE}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focused = QApplication::focusWidget();
        EXPECT_TRUE(dialog.GetDlgItem(id)->isAncestorOf(focused) ||
                    focused == dialog.GetDlgItem(id))
            << id;
    }
    QTest::keyClick(&dialog, Qt::Key_F1);
    auto* panelEdit = panel.item<QLineEdit>(IDC_INPUT_INSTANCE);
    panelEdit->setFocus();
    QTest::keyClick(panelEdit, Qt::Key_F1);
    EXPECT_EQ(dialog.helpRequests, 2);

    QMenu* menu = dialog.windowMenu();
    dialog.AppendWindowMenuItem(QStringLiteral("&About"), IDM_ABOUTBOX);
    menu->actions().last()->trigger();
    EXPECT_EQ(dialog.sysCommands, std::vector<int>{IDM_ABOUTBOX});
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

    dialog.close();
    EXPECT_EQ(rejected.count(), 1);
    dialog.show();
    QTest::mouseClick(dialog.item<QPushButton>(IDOK), Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_FALSE(dialog.isVisible());
}

} // namespace
