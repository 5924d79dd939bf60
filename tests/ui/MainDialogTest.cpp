#include "DialogFixture.h"

#include "platform/HelpWindow.h"
#include "platform/RegistrySettings.h"
#include "res/Texts.h"
#include "ui/ExtParamsChildDlg.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QTimer>
#include <QWhatsThis>

using namespace res;

class MainDialogTest : public DialogFixture {};

TEST_F(MainDialogTest, FirstStartShowsTheDefaultAddressAndDisabledDeviceControls) {
    CDELVOREncoderDlg& dialog = Dialog();
    EXPECT_EQ(dialog.m_ipTargetDevice->GetWindowText(), QStringLiteral("192.168.0.20"));
    EXPECT_EQ(DeviceData.m_DeviceIp, (std::array<BYTE, 4>{0, 0, 0, 0}));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("DELVOR RivivozUzuvod 1.0"));
    for (const int id : {IDC_NEW_IP, IDC_SUBNET_MASK, IDC_GATEWAY, IDC_CHANGE_PROTOCOL,
                         IDC_SET_NEW_IP, IDC_UPGRADE_FIRMWARE, IDC_PROTOCOL_COMBO, IDC_CHANGE_MODE})
        EXPECT_FALSE(dialog.GetDlgItem(id)->isEnabled()) << id;
    for (const int id : {IDC_TARGET_IP, IDC_CONNECT, ID_HELP, IDOK})
        EXPECT_TRUE(dialog.GetDlgItem(id)->isEnabled()) << id;
    for (const int id : {IDC_CURRENT_MODE, IDC_CHANGE_MODE, IDC_RESOLVER_MODE_GROUP})
        EXPECT_TRUE(dialog.GetDlgItem(id)->isHidden()) << id;
    EXPECT_TRUE(Text(IDC_LAST_UPDATED).isEmpty());
    EXPECT_FALSE(dialog.m_StatusPoller.HasWorker());
}

TEST_F(MainDialogTest, StoredAddressIsRestoredIntoTheFieldAndTheDeviceRecord) {
    ASSERT_TRUE(CreateSettingsKey());
    ASSERT_TRUE(WriteRegistryString(QString(text::DeviceIpValueName), QStringLiteral("127.1.2.3")));
    EXPECT_EQ(Dialog().m_ipTargetDevice->GetWindowText(), QStringLiteral("127.1.2.3"));
    EXPECT_EQ(DeviceData.m_DeviceIp, (std::array<BYTE, 4>{127, 1, 2, 3}));
}

TEST_F(MainDialogTest, EmptyStoredAddressOpensABlankField) {
    ASSERT_TRUE(CreateSettingsKey());
    ASSERT_TRUE(WriteRegistryString(QString(text::DeviceIpValueName), QString()));
    EXPECT_TRUE(Dialog().m_ipTargetDevice->IsBlank());
    EXPECT_EQ(DeviceData.m_DeviceIp, (std::array<BYTE, 4>{0, 0, 0, 0}));
}

TEST_F(MainDialogTest, EscapeClosesNeitherTheDialogNorAPanel) {
    CDELVOREncoderDlg& dialog = Dialog();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QLineEdit* panelField = dialog.m_pRSLogixPanel->m_editInputInstance;
    panelField->setFocus();
    QTest::keyClick(panelField, Qt::Key_Escape);
    QTest::keyClick(dialog.m_ipTargetDevice->field(0), Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.m_pRSLogixPanel->isVisible());
    EXPECT_EQ(dialog.result(), 0);
}

TEST_F(MainDialogTest, WindowMenuEndsWithTheAboutEntryWhichOpensTheAboutBox) {
    QMenu* menu = Dialog().windowMenu();
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> actions = menu->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    QAction* about = actions.last();
    EXPECT_EQ(about->text(), QStringLiteral("&About DELVOR RivivozUzuvod..."));

    QString seenTitle, seenVersion;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            seenTitle = modal->windowTitle();
            if (auto* dialog = qobject_cast<platform::TemplateDialog*>(modal))
                seenVersion = dialog->GetDlgItem(IDC_VERSION)->property("text").toString();
            modal->close();
        }
    });
    about->trigger(); // runs the About box modally until the timer closes it
    EXPECT_EQ(seenTitle, QStringLiteral("About DELVOR RivivozUzuvod"));
    EXPECT_EQ(seenVersion, QStringLiteral("DELVOR RivivozUzuvod, Version 1.0"));
}

// The help button, F1 and the caption's "?" (the window system's request for context help)
// open help at once; help stays usable while an operation disables the dialog.
TEST_F(MainDialogTest, HelpButtonF1AndCaptionHelpOpenTheHelpFileAtItsDefaultTopic) {
    const auto shownHelp = []() -> platform::HelpWindow* {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* help = qobject_cast<platform::HelpWindow*>(widget);
            if (help && help->isVisible())
                return help;
        }
        return nullptr;
    };
    for (const auto& ask :
         {std::function<void()>([&] { Click(ID_HELP); }),
          std::function<void()>([&] { QTest::keyClick(&Dialog(), Qt::Key_F1); }),
          std::function<void()>(
              [] { QCoreApplication::postEvent(qApp, new QEvent(QEvent::EnterWhatsThisMode)); })}) {
        if (platform::HelpWindow* open = shownHelp())
            open->close();
        ask();
        ASSERT_TRUE(testsupport::WaitFor([&] { return shownHelp() != nullptr; }));
        platform::HelpWindow* help = shownHelp();
        EXPECT_TRUE(help->filePath().endsWith(QStringLiteral("/DELVOR Rivivoz Uzuvod.chm")));
        EXPECT_EQ(help->currentTopic(), QStringLiteral("/index.html"));
        EXPECT_FALSE(help->toPlainText().isEmpty());
        EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
        Dialog().setEnabled(false);
        EXPECT_TRUE(help->isEnabled());
        Dialog().setEnabled(true);
    }
    EXPECT_EQ(m_messages.count(), 0u);
}

// Typed with real keys over the address each field holds, every address field takes the
// address as typed.
TEST_F(MainDialogTest, EveryAddressFieldTakesTheAddressAsTyped) {
    CDELVOREncoderDlg& dialog = Dialog();
    // As the window opens, the target field has the focus with its first number selected.
    ASSERT_TRUE(testsupport::WaitFor(
        [&] { return dialog.m_ipTargetDevice->field(0)->selectedText() == u"192"; }));
    dialog.EnableDeviceControls(true);
    for (CIPAddressCtrl* control : {dialog.m_ipTargetDevice, dialog.m_ipNewAddress,
                                    dialog.m_ipSubnetMask, dialog.m_ipGateway}) {
        control->SetWindowText(QStringLiteral("192.168.0.20"));
        if (control != dialog.m_ipTargetDevice)
            control->SetFocus();
        for (const char key : std::string_view("127.1.2.3"))
            QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_EQ(control->GetWindowText(), QStringLiteral("127.1.2.3"))
            << control->objectName().toStdString();
    }
}

TEST_F(MainDialogTest, PanelsAreStackedOnTheExtraParametersBoxWithTheModbusPanelHidden) {
    CDELVOREncoderDlg& dialog = Dialog();
    const QRect box = dialog.m_groupExtraParameters->geometry();
    EXPECT_EQ(dialog.m_pRSLogixPanel->geometry(), box);
    EXPECT_EQ(dialog.m_pModbusPanel->geometry(), box);
    EXPECT_FALSE(dialog.m_pRSLogixPanel->isHidden());
    EXPECT_TRUE(dialog.m_pModbusPanel->isHidden());
    EXPECT_FALSE(dialog.m_staticTrademark->isHidden());
}

TEST(ExtParamsPanelTest, ConnectionParametersAreShownInWordsAndInstances) {
    QWidget parent;
    CExtParamsChildDlg panel(&parent, CExtParamsChildDlg::RSLogixKind);
    struct Case {
        std::array<BYTE, 2> raw;
        const char* asSize;
        const char* asInstance;
    };
    for (const Case c : {Case{{0x00, 0x04}, "2", "4"}, Case{{0x00, 0x05}, "2", "5"},
                         Case{{0xFF, 0xFF}, "32767", "65535"}, Case{{0x00, 0x64}, "50", "100"}}) {
        EthernetSettings settings;
        settings.m_wOutputSize = settings.m_wInputSize = c.raw;
        settings.m_wOutputInstance = settings.m_wInputInstance = c.raw;
        panel.FillConnectionParameters(settings);
        EXPECT_EQ(panel.m_editOutputSize->text(), QLatin1String(c.asSize));
        EXPECT_EQ(panel.m_editInputSize->text(), QLatin1String(c.asSize));
        EXPECT_EQ(panel.m_editOutputInstance->text(), QLatin1String(c.asInstance));
        EXPECT_EQ(panel.m_editInputInstance->text(), QLatin1String(c.asInstance));
        EXPECT_EQ(panel.m_editConfigInstance->text(), QStringLiteral("1"));
        EXPECT_EQ(panel.m_editConfigSize->text(), QStringLiteral("0"));
    }
}

// A picture of the connected window for the documentation, saved into the build folder.
TEST_F(MainDialogTest, ConnectedWindowRendersAndIsSavedAsAPicture) {
    m_sim->PinPosition(true);
    m_sim->SetPosition(123456);
    ConnectToSimulator();
    Dialog().m_ipTargetDevice->SetFocus();
    const QPixmap picture = Dialog().grab();
    EXPECT_EQ(picture.size(), Dialog().size());
    EXPECT_TRUE(picture.save(
        QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(QStringLiteral("main-window.png"))));
}

// The address of a good Connect is what the next start of the program shows.
TEST_F(MainDialogTest, NextStartShowsTheAddressOfTheLastGoodConnect) {
    ConnectToSimulator();
    m_dialog.reset(); // the program ends
    DeviceData = {};
    EXPECT_EQ(Dialog().m_ipTargetDevice->GetWindowText(), m_address);
    EXPECT_EQ(DeviceData.m_DeviceIp, testsupport::Octets(m_address));
}
