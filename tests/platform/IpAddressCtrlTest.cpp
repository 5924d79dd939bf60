#include "platform/IpAddressCtrl.h"

#include "MessageRecorder.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using platform::CIPAddressCtrl;

namespace {

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
        int field = CIPAddressCtrl::kFieldCount - 1;
        while (field >= 0 && !m_control->field(field)->hasFocus())
            --field;
        return field;
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

// Typed over a blank control or an address set as text: fields filled, the four numbers, the text,
// the field focused at the end. A dot after an automatic move is not a second move. A number
// above 255 is refused with a message, held at 255, and keeps the focus.
TEST_F(IpAddressCtrlTyping, AddressSetOrTypedIsTheAddressShown) {
    const std::tuple<const char*, const char*, const char*, int> cases[] = {
        {"", "", "0:0.0.0.0 ", 0},
        {"300.1.2.3", "", "4:255.1.2.3 255.1.2.3", 0},
        {"a.b.c.d", "", "0:0.0.0.0 ", 0},
        {"0.0.0.0", "", "4:0.0.0.0 0.0.0.0", 0},
        {"1..3.4", "", "3:1.0.3.4 1.0.3.4", 0},
        {"1.2.3.4.5", "", "4:1.2.3.4 1.2.3.4", 0},
        {"127.1", "", "2:127.1.0.0 127.1.0.0", 0},
        {"", "127.0.0.31", "4:127.0.0.31 127.0.0.31", 3},
        {"192.168.0.20", "127.0.0.31", "4:127.0.0.31 127.0.0.31", 3},
        {"127.0.0.2", "127.1.2.3", "4:127.1.2.3 127.1.2.3", 3},
        {"192.168.0.20", "10.200.300.4", "4:10.200.255.4 10.200.255.4", 3},
        {"192.168.0.20", "127 . 0 . 0 . 9", "4:127.0.0.9 127.0.0.9", 3},
        {"", "192168000020", "4:192.168.0.20 192.168.0.20", 3}, // third digits move on
        {"192.168.0.20", "1..5", "4:1.168.5.20 1.168.5.20", 2}, // a dot in a filled field moves
        {"", ".1a2x", "1:12.0.0.0 12.0.0.0", 0}, // a dot in a blank field and letters do not
        {"", "1.255.300", "3:1.255.255.0 1.255.255.0", 2}, // 255 itself is allowed
        {"", "192.1.25.\b\b", "3:192.1.2.0 192.1.2.0", 2}, // Backspace in an empty field: back
        {"", "1\t", "1:1.0.0.0 1.0.0.0", -1},              // the control is one tab stop
    };
    testsupport::MessageRecorder recorder;
    for (const auto& [before, keys, after, field] : cases) {
        m_control->SetWindowText(QLatin1String(before));
        m_control->SetFocus();
        type(keys);
        BYTE b0 = 9, b1 = 9, b2 = 9, b3 = 9;
        const int filled = m_control->GetAddress(b0, b1, b2, b3);
        EXPECT_EQ(QString::asprintf("%d:%d.%d.%d.%d ", filled, b0, b1, b2, b3) +
                      m_control->GetWindowText(),
                  QLatin1String(after))
            << before << " + " << keys;
        EXPECT_EQ(m_control->IsBlank(), filled == 0) << before << " + " << keys;
        EXPECT_EQ(focusedField(), field) << before << " + " << keys;
    }
    EXPECT_TRUE(m_other->hasFocus());
    ASSERT_EQ(recorder.count(), 2u);
    EXPECT_EQ(recorder.messages().back().text,
              QStringLiteral("300 is not a valid address field: use a number from 0 to 255."));
    EXPECT_EQ(recorder.messages().back().icon, platform::MessageIcon::Warning);
}

// A dotted address pasted into any field fills all four; digits go into the field.
TEST_F(IpAddressCtrlTyping, PastedDottedAddressFillsAllFields) {
    const char* cases[][3] = {{"127.0.0.31", "2", "127.0.0.31"},
                              {" 127. 0. 0. 31\n", "2", "127.0.0.31"},
                              {"42", "1", "192.42.0.20"}};
    for (const auto& [pasted, field, after] : cases) {
        m_control->SetWindowText(QStringLiteral("192.168.0.20"));
        m_control->SetFieldFocus(field[0] - '0');
        QGuiApplication::clipboard()->setText(QLatin1String(pasted));
        QTest::keySequence(QApplication::focusWidget(), QKeySequence::Paste);
        EXPECT_EQ(m_control->GetWindowText(), QLatin1String(after)) << pasted;
    }
}

} // namespace
