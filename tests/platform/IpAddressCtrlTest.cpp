#include "platform/IpAddressCtrl.h"
#include "res/Texts.h"

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

struct Address {
    int filled;
    BYTE b0, b1, b2, b3;
    bool operator==(const Address&) const = default;
};

Address addressOf(const CIPAddressCtrl& control) {
    Address address{};
    address.filled = control.GetAddress(address.b0, address.b1, address.b2, address.b3);
    return address;
}

// The control in a window of its own, with a second control to take the focus away.
class IpAddressCtrlTyping : public ::testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&m_window);
        m_control = new CIPAddressCtrl(&m_window);
        m_other = new QLineEdit(&m_window);
        layout->addWidget(m_control);
        layout->addWidget(m_other);
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

    QWidget m_window;
    CIPAddressCtrl* m_control = nullptr;
    QLineEdit* m_other = nullptr;
};

TEST(IpAddressCtrlTest, BlankControlReadsZeroWithNoFieldFilled) {
    CIPAddressCtrl control;
    EXPECT_TRUE(control.IsBlank());
    EXPECT_EQ(addressOf(control), (Address{0, 0, 0, 0, 0}));
    EXPECT_EQ(control.GetWindowText(), QString());
    DWORD packed = 0xFFFFFFFF;
    EXPECT_EQ(control.GetAddress(packed), 0);
    EXPECT_EQ(packed, 0u);
}

TEST(IpAddressCtrlTest, SetWindowTextFillsTheFields) {
    struct Case {
        const char* text;
        Address address;
        const char* rendered;
    };
    const Case cases[] = {
        {"192.168.0.20", {4, 192, 168, 0, 20}, "192.168.0.20"},
        {"127.1", {2, 127, 1, 0, 0}, "127.1.0.0"},
        {"", {0, 0, 0, 0, 0}, ""},
        {"300.1.2.3", {4, 255, 1, 2, 3}, "255.1.2.3"},
        {"a.b.c.d", {0, 0, 0, 0, 0}, ""},
        {"1..3.4", {3, 1, 0, 3, 4}, "1.0.3.4"},
        {"0.0.0.0", {4, 0, 0, 0, 0}, "0.0.0.0"},
        {"1.2.3.4.5", {4, 1, 2, 3, 4}, "1.2.3.4"},
    };
    CIPAddressCtrl control;
    for (const Case& c : cases) {
        control.SetWindowText(QStringLiteral("9.9.9.9"));
        control.SetWindowText(QString::fromLatin1(c.text));
        EXPECT_EQ(addressOf(control), c.address) << c.text;
        EXPECT_EQ(control.GetWindowText(), QString::fromLatin1(c.rendered)) << c.text;
        EXPECT_EQ(control.IsBlank(), c.address.filled == 0) << c.text;
    }
}

TEST(IpAddressCtrlTest, PackedAddressHasTheFirstFieldOnTop) {
    CIPAddressCtrl control;
    QSignalSpy changed(&control, &CIPAddressCtrl::addressChanged);
    control.SetAddress(DWORD{0xC0A80014});
    EXPECT_EQ(control.GetWindowText(), QStringLiteral("192.168.0.20"));
    EXPECT_GT(changed.count(), 0);
    DWORD packed = 0;
    EXPECT_EQ(control.GetAddress(packed), 4);
    EXPECT_EQ(packed, 0xC0A80014u);
    control.ClearAddress();
    EXPECT_TRUE(control.IsBlank());
}

TEST_F(IpAddressCtrlTyping, DotsAndThirdDigitsMoveToTheNextField) {
    type("192");
    EXPECT_EQ(focusedField(), 1);
    type("168.");
    EXPECT_EQ(focusedField(), 2);
    type("0.");
    EXPECT_EQ(focusedField(), 3);
    type("20");
    EXPECT_EQ(m_control->GetWindowText(), QStringLiteral("192.168.0.20"));
    EXPECT_EQ(focusedField(), 3);
}

// What the operator types, over a blank control and over one that holds an address, gives
// the address typed: the dot after an automatic move is not a second move.
TEST_F(IpAddressCtrlTyping, TypedAddressIsTheAddressShown) {
    struct Case {
        const char* before;
        const char* typed;
        const char* after;
    };
    const Case cases[] = {
        {"", "127.0.0.31", "127.0.0.31"},
        {"192.168.0.20", "127.0.0.31", "127.0.0.31"},
        {"127.0.0.2", "127.1.2.3", "127.1.2.3"},
        {"192.168.0.20", "10.200.300.4", "10.200.255.4"},
        {"192.168.0.20", "127 . 0 . 0 . 9", "127.0.0.9"},
        {"", "192168000020", "192.168.0.20"},   // third digits move on by themselves
        {"192.168.0.20", "1..5", "1.168.5.20"}, // a dot in a filled field moves on
    };
    testsupport::MessageRecorder recorder; // 300 is refused with a message
    for (const Case& c : cases) {
        m_control->SetWindowText(QLatin1String(c.before));
        m_control->SetFocus();
        type(c.typed);
        EXPECT_EQ(m_control->GetWindowText(), QLatin1String(c.after))
            << c.before << " + " << c.typed;
    }
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

TEST_F(IpAddressCtrlTyping, DotInABlankFieldAndLettersAreIgnored) {
    type(".");
    EXPECT_EQ(focusedField(), 0);
    type("1a2x");
    EXPECT_EQ(m_control->field(0)->text(), QStringLiteral("12"));
    type(".");
    EXPECT_EQ(focusedField(), 1);
    // Backspace in an empty field goes back to the one before.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    EXPECT_EQ(focusedField(), 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    EXPECT_EQ(m_control->field(0)->text(), QStringLiteral("1"));
}

TEST_F(IpAddressCtrlTyping, ValueAbove255IsRefusedWithAMessageAndHeldAt255) {
    testsupport::MessageRecorder recorder;
    type("10.300");
    ASSERT_EQ(recorder.count(), 1u);
    const platform::MessageBoxRequest message = recorder.messages().front();
    EXPECT_EQ(message.text, QString::asprintf(res::text::IpFieldOutOfRangeFormat.data(), 300));
    EXPECT_EQ(message.text,
              QStringLiteral("300 is not a valid address field: use a number from 0 to 255."));
    EXPECT_EQ(message.icon, platform::MessageIcon::Warning);
    EXPECT_EQ(m_control->field(1)->text(), QStringLiteral("255"));
    EXPECT_EQ(focusedField(), 1);

    type("255");
    EXPECT_EQ(recorder.count(), 1u) << "255 itself is allowed";
}

TEST_F(IpAddressCtrlTyping, TheControlIsOneTabStop) {
    type("1.2.3");
    EXPECT_EQ(focusedField(), 2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(m_other->hasFocus());
}

} // namespace
