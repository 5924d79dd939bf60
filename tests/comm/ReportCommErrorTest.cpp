#include "comm/ReportCommError.h"
#include "MessageRecorder.h"
#include "platform/LastError.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace Qt::StringLiterals;

TEST(ReportCommError, EveryCodeShowsItsExactText) {
    testsupport::MessageRecorder boxes;
    const auto packet = [](const char* what) {
        return u"Incorrect Communication Packet  (%1)."_s.arg(QLatin1String(what));
    };
    const auto report = [&](DWORD code, int systemError) {
        platform::SetLastSystemError(systemError);
        ReportCommError(code);
        return testsupport::TakeBox(boxes);
    };
    const std::tuple<DWORD, int, QString> rows[] = {
        {1, 105, packet("Checksum Error")},
        {2, 106, packet("Time Out Error") + u" \nCheck cable and communication port."_s},
        {3, 108, packet("Incorrect message code")},
        {6, 107, u"Device is out of memory."_s},
        {7, 109, packet("Incorrect message number")},
        {8, 111, packet("Incorrect message length")},
        {9, 110, packet("Incorrect type")},
        {10, 123, packet("Error in EEPROM program")},
        {11, 133, packet("Incorrect message load")},
        {14, 112, packet("Program read only error")},
        {15, 113, packet("Incorrect Format")},
        {16, 114, packet("Image not found")},
        {17, 115, u"There is a Port conflict. Check the ports."_s},
        {18, 116,
         u"Panel does not have the firmware loaded.  \n"_s
         u"Please load the panel with latest firmware."_s},
        {19, 117, packet("Protection error")},
        {20, 118, packet("Incorrect password")},
        {21, 119, packet("Error in INIT")},
        {23, 120, packet("ERR MSG ECHOED")},
        {30, 122, u"DORudor dll not initialized."_s},
        {31, 124, u"Invalid argument type."_s},
        {32, 126, u"Unable to create thread."_s},
        {33, 127, u"Unable to close communication port."_s},
        {34, 129, u"DORudor Dll not loaded."_s},
        {35, 132, u"Error in transmitting data."_s},
        {36, 102, u"Error C01_1:  Unable to open communication port."_s},
        {37, 103,
         u"Error C01_3:  communication port is being used by some other application, Access "_s
         u"denied."_s},
        {100, 130, u"The starting address does not match."_s},
        {101, 131, u"Error reading driver or hex file"_s},
        {212, 121, u"User aborted communication."_s},
    };
    for (const auto& [code, helpId, text] : rows) {
        const QString expected = u"DELVOR RivivozUzuvod|%1|%2|I"_s.arg(text).arg(helpId);
        EXPECT_EQ(report(code, 0), expected) << code;
        EXPECT_EQ(report(code, ECONNREFUSED), expected) << code;
    }
    EXPECT_EQ(report(0, ECONNREFUSED), QString()); // success shows nothing
    // Any other code: the system's text for its last error, else the unknown-error text.
    for (const DWORD code : {4u, 22u, 213u, 100000u}) {
        EXPECT_EQ(report(code, ECONNREFUSED), u"Error|Connection refused|0|I"_s);
        EXPECT_EQ(report(code, 0), u"DELVOR RivivozUzuvod|Error C01_4:  Unknown communication "_s
                                   u"error. Please check the cable and connection.|104|I"_s);
    }
    EXPECT_FALSE(report(4, 987654).startsWith(u"Error||"_s)); // no system text
    platform::SetLastSystemError(0);
}
