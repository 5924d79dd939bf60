#include "DialogFixture.h"

#include "platform/HelpWindow.h"
#include "ui/ExtParamsChildDlg.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QStyleHints>
#include <QWhatsThis>

class MainDialogTest : public DialogFixture {};

// The target field and the device record start from the stored address: the default one
// when none is stored, a blank field for an empty one. Nothing is connected yet.
TEST_F(MainDialogTest, StartShowsTheStoredAddressWithTheDeviceControlsDisabled) {
    using Case = std::tuple<std::optional<QString>, QString, std::array<BYTE, 4>>;
    for (const auto& [stored, shown, record] :
         {Case{std::nullopt, QStringLiteral("192.168.0.20"), {0, 0, 0, 0}},
          Case{QStringLiteral("127.1.2.3"), QStringLiteral("127.1.2.3"), {127, 1, 2, 3}},
          Case{QString(), QString(), {0, 0, 0, 0}}}) {
        m_dialog.reset();
        DeviceData = {};
        if (stored) {
            ASSERT_TRUE(WriteRegistryString(QStringLiteral("DeviceIP"), *stored));
        }
        EXPECT_EQ(Dialog().m_ipTargetDevice->GetWindowText(), shown);
        EXPECT_EQ(DeviceData.m_DeviceIp, record);
    }
    CDELVOREncoderDlg& dialog = Dialog();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("DELVOR RivivozUzuvod 1.0"));
    EXPECT_EQ(DeviceControls(), 0);
    for (const int id : {IDC_CURRENT_MODE, IDC_CHANGE_MODE, IDC_RESOLVER_MODE_GROUP})
        EXPECT_TRUE(dialog.GetDlgItem(id)->isHidden()) << id;
    EXPECT_TRUE(Text(IDC_LAST_UPDATED).isEmpty());
    // The panels lie on the extra-parameters box, the Modbus one hidden.
    const QRect box = dialog.m_groupExtraParameters->geometry();
    EXPECT_EQ(dialog.m_pRSLogixPanel->geometry(), box);
    EXPECT_EQ(dialog.m_pModbusPanel->geometry(), box);
    EXPECT_FALSE(dialog.m_pRSLogixPanel->isHidden());
    EXPECT_TRUE(dialog.m_pModbusPanel->isHidden());
    EXPECT_FALSE(dialog.m_staticTrademark->isHidden());
}

TEST_F(MainDialogTest, WindowMenuEndsWithTheAboutEntryWhichOpensTheAboutBox) {
    const QList<QAction*> actions = Dialog().windowMenu()->actions();
    QStringList entries; // a separator reads as an empty entry
    for (const QAction* action : actions)
        entries << action->text();
    EXPECT_EQ(entries.join(u'|'), u"&Move||&Close\tAlt+F4||&About DELVOR RivivozUzuvod...");
    QString seen;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<platform::TemplateDialog*>(QApplication::activeModalWidget());
        if (about == nullptr)
            return;
        auto* ok = about->item<QPushButton>(IDOK);
        seen = about->windowTitle() + u'|' +
               about->GetDlgItem(IDC_VERSION)->property("text").toString() +
               (ok->isDefault() ? QStringLiteral("|default OK") : QString());
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    actions.last()->trigger(); // runs the About box modally until OK is clicked
    EXPECT_EQ(seen, u"About DELVOR RivivozUzuvod|DELVOR RivivozUzuvod, Version 1.0|default OK");
}

// The caption's "?" is the window system's request for context help; help stays usable
// while an operation disables the dialog.
TEST_F(MainDialogTest, HelpButtonF1AndCaptionHelpOpenTheHelpFileAtItsDefaultTopic) {
    const auto shownHelp = []() -> platform::HelpWindow* {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* help = qobject_cast<platform::HelpWindow*>(widget); help && help->isVisible())
                return help;
        return nullptr;
    };
    const std::function<void()> ways[] = {
        [this] { Click(ID_HELP); }, [this] { QTest::keyClick(&Dialog(), Qt::Key_F1); },
        [] { QCoreApplication::postEvent(qApp, new QEvent(QEvent::EnterWhatsThisMode)); }};
    for (const auto& open : ways) {
        if (platform::HelpWindow* help = shownHelp())
            help->close();
        open();
        ASSERT_TRUE(testsupport::WaitFor([&] { return shownHelp() != nullptr; }));
        platform::HelpWindow* help = shownHelp();
        EXPECT_EQ(QFileInfo(help->filePath()).fileName() + help->currentTopic(),
                  QStringLiteral("DELVOR Rivivoz Uzuvod.chm/index.html"));
        EXPECT_FALSE(help->toPlainText().isEmpty());
        EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
        Dialog().setEnabled(false);
        EXPECT_TRUE(help->isEnabled());
        Dialog().setEnabled(true);
    }
    EXPECT_EQ(m_messages.count(), 0u);
}

// Left alone, the text cursor stops blinking (the idle window then wakes for nothing); the
// next key makes it blink again, and the system's own blinking is back once it is gone.
TEST_F(MainDialogTest, TextCursorStopsBlinkingWhenLeftAloneAndBlinksAgainAtAKey) {
    QStyleHints* hints = QGuiApplication::styleHints();
    const int flashTime = hints->cursorFlashTime();
    ASSERT_GT(flashTime, 0);
    {
        CCursorBlinkTimeout blink(50);
        EXPECT_TRUE(testsupport::WaitFor([&] { return hints->cursorFlashTime() == 0; }));
        QTest::keyClick(Dialog().m_ipTargetDevice->field(0), Qt::Key_Right);
        EXPECT_EQ(hints->cursorFlashTime(), flashTime);
        EXPECT_TRUE(testsupport::WaitFor([&] { return hints->cursorFlashTime() == 0; }));
    }
    EXPECT_EQ(hints->cursorFlashTime(), flashTime);
}

TEST_F(MainDialogTest, AddressFieldsTakeTheAddressAsTypedAndEscapeClosesNothing) {
    CDELVOREncoderDlg& dialog = Dialog();
    // As the window opens, the target field has the focus with its first number selected.
    ASSERT_TRUE(testsupport::WaitFor(
        [&] { return dialog.m_ipTargetDevice->field(0)->selectedText() == u"192"; }));
    // Typing replaces it (the control's own table has every other way of typing).
    for (const char key : std::string_view("127.1.2.3"))
        QTest::keyClick(QApplication::focusWidget(), key);
    EXPECT_EQ(dialog.m_ipTargetDevice->GetWindowText(), QStringLiteral("127.1.2.3"));
    dialog.m_pRSLogixPanel->m_editInputInstance->setFocus();
    for (QWidget* target : std::initializer_list<QWidget*>{
             QApplication::focusWidget(), dialog.m_ipTargetDevice->field(0), &dialog})
        QTest::keyClick(target, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.m_pRSLogixPanel->isVisible());
    EXPECT_EQ(dialog.result(), 0);
}
