#include "platform/VersionInfo.h"
#include "res/VersionResource.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using platform::VersionInfo;

namespace {

// Queries into the program's block; names compare without regard to case.
TEST(VersionInfoTest, ProgramBlockAnswersStringQueries) {
    const VersionInfo program(res::ProgramVersionResource());
    const std::pair<const char*, const char*> cases[] = {
        {"\\StringFileInfo\\040904E4\\productversion", "1.0"},
        {"\\StringFileInfo\\040904e4\\FileVersion", "1.0.0.0"},
        {"\\StringFileInfo\\040904e4\\NoSuchEntry", nullptr},
        {"\\StringFileInfo\\040704b0\\ProductVersion", nullptr},
        {"\\StringFileInfo\\040904e4", nullptr},
    };
    for (const auto& [block, expected] : cases) {
        QString value = QStringLiteral("unchanged");
        EXPECT_EQ(program.QueryValue(QLatin1String(block), value), expected != nullptr) << block;
        EXPECT_EQ(value, QLatin1String(expected ? expected : "unchanged")) << block;
    }

    // Only the program's own file carries one (read for the window's title: MainDialogTest).
    VersionInfo info;
    for (const QString& path :
         {QString(), QStringLiteral("/no/such/program"), QCoreApplication::applicationDirPath()})
        EXPECT_FALSE(VersionInfo::GetFileVersionInfo(path, info)) << qPrintable(path);
}

} // namespace
