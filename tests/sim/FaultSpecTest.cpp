#include "sim/FaultSpec.h"

#include <gtest/gtest.h>

using sim::FaultKind;
using sim::FaultSpec;

TEST(FaultSpec, ParsesTheCommandLineSyntax) {
    struct Row {
        const char* text;
        BYTE code;
        FaultKind kind;
        int value;
        bool persistent;
    };
    const Row rows[] = {
        {"18:noreply", 18, FaultKind::NoReply, 0, true},
        {"0x2B:slow=800", 0x2B, FaultKind::SlowReply, 800, true},
        {"47:error=11,once", 47, FaultKind::DeviceError, 11, false},
        {"18:notvalid", 18, FaultKind::NotValidDevice, 0, true},
        {"43:badchecksum", 43, FaultKind::BadChecksum, 0, true},
        {"43:wrongcode,once", 43, FaultKind::WrongCode, 0, false},
        {"43:wrongsequence", 43, FaultKind::WrongSequence, 0, true},
        {"43:shortreply", 43, FaultKind::ShortReply, 0, true},
        {"26:drop", 26, FaultKind::DropConnection, 0, true},
        {"42:failfirst", 42, FaultKind::FailFirstAttempt, 0, false},
        {"1:NoReply", 1, FaultKind::NoReply, 0, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        QString error;
        const auto spec = FaultSpec::Parse(QString::fromLatin1(row.text), &error);
        ASSERT_TRUE(spec.has_value()) << error.toStdString();
        EXPECT_EQ(spec->code, row.code);
        EXPECT_EQ(spec->fault.kind, row.kind);
        EXPECT_EQ(spec->fault.value, row.value);
        EXPECT_EQ(spec->fault.persistent, row.persistent);
    }
}

TEST(FaultSpec, RefusesWhatItCannotRead) {
    for (const char* text : {"", "noreply", ":noreply", "256:noreply", "18:", "18:sleep", "18:slow",
                             "18:noreply=5", "18:error=0", "18:error=300", "18:slow=x",
                             "18:noreply,twice", "18:slow=1=2", "-1:drop"}) {
        SCOPED_TRACE(text);
        QString error;
        EXPECT_FALSE(FaultSpec::Parse(QString::fromLatin1(text), &error).has_value());
        EXPECT_FALSE(error.isEmpty());
    }
}
