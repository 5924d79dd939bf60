#include "comm/ReportCommError.h"
#include "MessageRecorder.h"
#include "platform/LastError.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

QString Packet(const char* what) {
    return QStringLiteral("Incorrect Communication Packet  (%1).").arg(QLatin1String(what));
}

} // namespace

class ReportCommErrorTest : public ::testing::Test {
protected:
    void TearDown() override { platform::SetLastSystemError(0); }

    QString Report(DWORD code, int systemError = 0) {
        platform::SetLastSystemError(systemError);
        ReportCommError(code);
        return testsupport::TakeBox(m_messages);
    }

    testsupport::MessageRecorder m_messages;
};

TEST_F(ReportCommErrorTest, EveryCodeShowsItsExactText) {
    const struct {
        DWORD code;
        int helpId;
        QString text;
    } rows[] = {
        {1, 105, Packet("Checksum Error")},
        {2, 106,
         Packet("Time Out Error") + QStringLiteral(" \nCheck cable and communication port.")},
        {3, 108, Packet("Incorrect message code")},
        {6, 107, QStringLiteral("Device is out of memory.")},
        {7, 109, Packet("Incorrect message number")},
        {8, 111, Packet("Incorrect message length")},
        {9, 110, Packet("Incorrect type")},
        {10, 123, Packet("Error in EEPROM program")},
        {11, 133, Packet("Incorrect message load")},
        {14, 112, Packet("Program read only error")},
        {15, 113, Packet("Incorrect Format")},
        {16, 114, Packet("Image not found")},
        {17, 115, QStringLiteral("There is a Port conflict. Check the ports.")},
        {18, 116,
         QStringLiteral("Panel does not have the firmware loaded.  \nPlease load the panel with "
                        "latest firmware.")},
        {19, 117, Packet("Protection error")},
        {20, 118, Packet("Incorrect password")},
        {21, 119, Packet("Error in INIT")},
        {23, 120, Packet("ERR MSG ECHOED")},
        {30, 122, QStringLiteral("DORudor dll not initialized.")},
        {31, 124, QStringLiteral("Invalid argument type.")},
        {32, 126, QStringLiteral("Unable to create thread.")},
        {33, 127, QStringLiteral("Unable to close communication port.")},
        {34, 129, QStringLiteral("DORudor Dll not loaded.")},
        {35, 132, QStringLiteral("Error in transmitting data.")},
        {36, 102, QStringLiteral("Error C01_1:  Unable to open communication port.")},
        {37, 103,
         QStringLiteral("Error C01_3:  communication port is being used by some other "
                        "application, Access denied.")},
        {100, 130, QStringLiteral("The starting address does not match.")},
        {101, 131, QStringLiteral("Error reading driver or hex file")},
        {212, 121, QStringLiteral("User aborted communication.")},
    };
    for (const auto& row : rows) {
        const QString expected =
            QStringLiteral("DELVOR RivivozUzuvod|%1|%2|I").arg(row.text).arg(row.helpId);
        EXPECT_EQ(Report(row.code), expected) << row.code;
        EXPECT_EQ(Report(row.code, ECONNREFUSED), expected) << row.code;
    }
    EXPECT_EQ(Report(0, ECONNREFUSED), QString()); // success shows nothing
    // Any other code: the system's text for its last error, else the unknown-error text.
    for (const DWORD code : {4u, 22u, 213u, 100000u}) {
        EXPECT_EQ(Report(code, ECONNREFUSED), QStringLiteral("Error|Connection refused|0|I"));
        EXPECT_EQ(Report(code), QStringLiteral("DELVOR RivivozUzuvod|Error C01_4:  Unknown "
                                               "communication error. Please check the cable and "
                                               "connection.|104|I"));
    }
    EXPECT_FALSE(Report(4, 987654).startsWith(QStringLiteral("Error||"))); // no system text
}
