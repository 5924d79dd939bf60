#include "platform/IpAddressCtrl.h"

#include "MessageRecorder.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using platform::CIPAddressCtrl;

namespace {

// The number of fields filled and the four numbers, as GetAddress gives them.
QString addressOf(const CIPAddressCtrl& control) {
    BYTE b0 = 9, b1 = 9, b2 = 9, b3 = 9;
    const int filled = control.GetAddress(b0, b1, b2, b3);
    return QStringLiteral("%1:%2.%3.%4.%5").arg(filled).arg(b0).arg(b1).arg(b2).arg(b3);
}

// The control in a window of its own, with a second control to take the focus away.
class IpAddressCtrlTyping : public ::testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&m_window);
        layout->addWidget(m_control = new CIPAddressCtrl(&m_window));
        layout->addWidget(m_other = new QLineEdit(&m_window));
        m_window.show();
        m_window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
        m_control->SetFocus();
    }
    int focusedField() const {
        for (int i = 0; i < CIPAddressCtrl::kFieldCount; ++i) {
            if (m_control->field(i)->hasFocus())
                return i;
        }
        return -1;
    }
    // Each key goes to the field that has the focus when it is pressed.
    static void type(const char* keys) {
        for (const char* key = keys; *key != '\0'; ++key)
            QTest::keyClick(QApplication::focusWidget(), *key);
    }
    static void press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }

    QWidget m_window;
    CIPAddressCtrl* m_control = nullptr;
    QLineEdit* m_other = nullptr;
};

TEST(IpAddressCtrlTest, SetWindowTextFillsTheFields) {
    const char* cases[][3] = {
        {"192.168.0.20", "4:192.168.0.20", "192.168.0.20"},
        {"127.1", "2:127.1.0.0", "127.1.0.0"},
        {"", "0:0.0.0.0", ""},
        {"300.1.2.3", "4:255.1.2.3", "255.1.2.3"},
        {"a.b.c.d", "0:0.0.0.0", ""},
        {"1..3.4", "3:1.0.3.4", "1.0.3.4"},
        {"0.0.0.0", "4:0.0.0.0", "0.0.0.0"},
        {"1.2.3.4.5", "4:1.2.3.4", "1.2.3.4"},
    };
    CIPAddressCtrl control;
    EXPECT_TRUE(control.IsBlank());
    for (const auto& c : cases) {
        control.SetWindowText(QStringLiteral("9.9.9.9"));
        control.SetWindowText(QLatin1String(c[0]));
        EXPECT_EQ(addressOf(control), QLatin1String(c[1])) << c[0];
        EXPECT_EQ(control.GetWindowText(), QLatin1String(c[2])) << c[0];
        EXPECT_EQ(control.IsBlank(), c[1][0] == '0') << c[0];
    }

    // The packed address has the first field on top; a blank control packs to 0.
    DWORD packed = 0xFFFFFFFF;
    EXPECT_EQ(control.GetAddress(packed), 4);
    EXPECT_EQ(packed, 0x01020304u);
    QSignalSpy changed(&control, &CIPAddressCtrl::addressChanged);
    control.SetAddress(DWORD{0xC0A80014});
    EXPECT_EQ(control.GetWindowText(), QStringLiteral("192.168.0.20"));
    EXPECT_GT(changed.count(), 0);
    control.ClearAddress();
    EXPECT_TRUE(control.IsBlank());
    EXPECT_EQ(control.GetAddress(packed), 0);
    EXPECT_EQ(packed, 0u);
}

// What the operator types, over a blank control and over one that holds an address, gives
// the address typed: the dot after an automatic move is not a second move.
TEST_F(IpAddressCtrlTyping, TypedAddressIsTheAddressShown) {
    const char* cases[][3] = {
        {"", "127.0.0.31", "127.0.0.31"},
        {"192.168.0.20", "127.0.0.31", "127.0.0.31"},
        {"127.0.0.2", "127.1.2.3", "127.1.2.3"},
        {"192.168.0.20", "10.200.300.4", "10.200.255.4"},
        {"192.168.0.20", "127 . 0 . 0 . 9", "127.0.0.9"},
        {"", "192168000020", "192.168.0.20"},   // third digits move on by themselves
        {"192.168.0.20", "1..5", "1.168.5.20"}, // a dot in a filled field moves on
        {"", ".1a2x", "12.0.0.0"},              // a dot in a blank field and letters do not
    };
    testsupport::MessageRecorder recorder; // 300 is refused with a message
    for (const auto& c : cases) {
        m_control->SetWindowText(QLatin1String(c[0]));
        m_control->SetFocus();
        type(c[1]);
        EXPECT_EQ(m_control->GetWindowText(), QLatin1String(c[2])) << c[0] << " + " << c[1];
    }
}

// Dots and third digits move the focus on, Backspace in an empty field back; the control is
// one tab stop.
TEST_F(IpAddressCtrlTyping, FocusMovesBetweenTheFields) {
    const std::pair<const char*, int> steps[] = {
        {".", 0}, {"192", 1}, {"1", 1}, {".", 2}, {"25.", 3}};
    for (const auto& [keys, field] : steps) {
        type(keys);
        EXPECT_EQ(focusedField(), field) << keys;
    }
    press(Qt::Key_Backspace);
    EXPECT_EQ(focusedField(), 2);
    press(Qt::Key_Backspace);
    EXPECT_EQ(m_control->GetWindowText(), QStringLiteral("192.1.2.0"));
    press(Qt::Key_Tab);
    EXPECT_TRUE(m_other->hasFocus());
}

TEST_F(IpAddressCtrlTyping, PastedDottedAddressFillsAllFields) {
    for (const char* pasted : {"127.0.0.31", " 127. 0. 0. 31\n"}) {
        m_control->SetWindowText(QStringLiteral("192.168.0.20"));
        m_control->SetFieldFocus(2);
        QGuiApplication::clipboard()->setText(QLatin1String(pasted));
        QTest::keySequence(QApplication::focusWidget(), QKeySequence::Paste);
        EXPECT_EQ(m_control->GetWindowText(), QStringLiteral("127.0.0.31")) << pasted;
    }
    QGuiApplication::clipboard()->setText(QStringLiteral("42")); // digits go into the field
    m_control->SetFieldFocus(1);
    QTest::keySequence(QApplication::focusWidget(), QKeySequence::Paste);
    EXPECT_EQ(m_control->GetWindowText(), QStringLiteral("127.42.0.31"));
}

TEST_F(IpAddressCtrlTyping, ValueAbove255IsRefusedWithAMessageAndHeldAt255) {
    testsupport::MessageRecorder recorder;
    type("10.300");
    ASSERT_EQ(recorder.count(), 1u);
    EXPECT_EQ(recorder.messages().front().text,
              QStringLiteral("300 is not a valid address field: use a number from 0 to 255."));
    EXPECT_EQ(recorder.messages().front().icon, platform::MessageIcon::Warning);
    EXPECT_EQ(m_control->field(1)->text(), QStringLiteral("255"));
    EXPECT_EQ(focusedField(), 1);
    type("255");
    EXPECT_EQ(recorder.count(), 1u) << "255 itself is allowed";
}

} // namespace
