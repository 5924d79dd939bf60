#include "comm/ReportCommError.h"
#include "MessageRecorder.h"
#include "platform/LastError.h"
#include "res/StringTable.h"
#include "res/Texts.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace res;

class ReportCommErrorTest : public ::testing::Test {
protected:
    void TearDown() override { platform::SetLastSystemError(0); }
    testsupport::MessageRecorder m_messages;
};

TEST_F(ReportCommErrorTest, ListedCodesShowTheirStringWithTheInformationIcon) {
    const struct {
        DWORD code;
        int stringId;
    } cases[] = {{1, 105},  {2, 106},  {3, 108},  {8, 111},   {9, 110},  {11, 133},
                 {18, 116}, {36, 102}, {37, 103}, {101, 131}, {212, 121}};
    for (const auto& c : cases) {
        m_messages.clear();
        ReportCommError(c.code);
        ASSERT_EQ(m_messages.count(), 1u) << c.code;
        const auto message = m_messages.messages()[0];
        EXPECT_EQ(message.text, LoadResString(c.stringId)) << c.code;
        EXPECT_EQ(message.helpContext, c.stringId);
        EXPECT_EQ(message.icon, platform::MessageIcon::Information);
        EXPECT_EQ(message.caption, QString(text::AppName));
    }
    EXPECT_EQ(LoadResString(106),
              QStringLiteral("Incorrect Communication Packet  (Time Out Error). \nCheck cable "
                             "and communication port."));
    EXPECT_EQ(LoadResString(121), QStringLiteral("User aborted communication."));
}

TEST_F(ReportCommErrorTest, CodeZeroShowsNothing) {
    ReportCommError(0);
    EXPECT_EQ(m_messages.count(), 0u);
}

TEST_F(ReportCommErrorTest, UnlistedCodesUseTheLastSystemError) {
    for (const DWORD code : {4u, 5u, 22u, 99u, 213u, 100000u}) {
        m_messages.clear();
        platform::SetLastSystemError(0);
        ReportCommError(code);
        ASSERT_EQ(m_messages.count(), 1u);
        EXPECT_EQ(m_messages.messages()[0].text,
                  QStringLiteral("Error C01_4:  Unknown communication error. Please check the "
                                 "cable and connection."));

        m_messages.clear();
        platform::SetLastSystemError(ECONNREFUSED);
        ReportCommError(code);
        ASSERT_EQ(m_messages.count(), 1u);
        EXPECT_EQ(m_messages.messages()[0].caption, QStringLiteral("Error"));
        EXPECT_EQ(m_messages.messages()[0].text, QStringLiteral("Connection refused"));
        EXPECT_EQ(m_messages.messages()[0].icon, platform::MessageIcon::Information);
    }
}

TEST_F(ReportCommErrorTest, SystemErrorWithoutTextStillShowsADefinedText) {
    platform::SetLastSystemError(987654);
    ReportCommError(4);
    ASSERT_EQ(m_messages.count(), 1u);
    EXPECT_FALSE(m_messages.messages()[0].text.isEmpty());
}
