#include "platform/VersionInfo.h"
#include "res/VersionResource.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using platform::VersionInfo;

namespace {

const QString kProductVersion = QStringLiteral("\\StringFileInfo\\040904e4\\ProductVersion");

TEST(VersionInfoTest, ProgramBlockAnswersStringAndFixedQueries) {
    const VersionInfo info(res::ProgramVersionResource());
    const std::pair<const char*, const char*> cases[] = {
        {"\\StringFileInfo\\040904e4\\ProductVersion", "1.0"},
        {"\\StringFileInfo\\040904E4\\productversion", "1.0"},
        {"\\StringFileInfo\\040904e4\\FileVersion", "1.0.0.0"},
        {"\\StringFileInfo\\040904e4\\NoSuchEntry", nullptr},
        {"\\StringFileInfo\\040704b0\\ProductVersion", nullptr},
        {"\\VarFileInfo\\Translation", nullptr},
        {"\\StringFileInfo\\040904e4", nullptr},
        {"", nullptr},
    };
    for (const auto& [subBlock, expected] : cases) {
        QString value = QStringLiteral("unchanged");
        EXPECT_EQ(info.QueryValue(QLatin1String(subBlock), value), expected != nullptr) << subBlock;
        EXPECT_EQ(value, QLatin1String(expected ? expected : "unchanged")) << subBlock;
    }
    VersionInfo::FixedFileInfo fixed;
    ASSERT_TRUE(info.QueryFixedFileInfo(fixed));
    EXPECT_EQ(fixed.fileVersion, (std::array<WORD, 4>{1, 0, 0, 0}));
    EXPECT_EQ(fixed.productVersion, (std::array<WORD, 4>{1, 0, 0, 0}));
}

// Only the program's own file carries a block; one without the US English table has no
// product version.
TEST(VersionInfoTest, OnlyTheProgramsOwnFileCarriesTheProductVersion) {
    VersionInfo info;
    QString value;
    EXPECT_TRUE(VersionInfo::GetFileVersionInfo(QCoreApplication::applicationFilePath(), info));
    EXPECT_TRUE(info.QueryValue(kProductVersion, value));
    EXPECT_EQ(value, QStringLiteral("1.0"));
    for (const QString& path :
         {QString(), QStringLiteral("/no/such/program"), QCoreApplication::applicationDirPath()})
        EXPECT_FALSE(VersionInfo::GetFileVersionInfo(path, info)) << qPrintable(path);

    VersionInfo other;
    VersionInfo::FixedFileInfo fixed;
    EXPECT_FALSE(other.QueryFixedFileInfo(fixed));
    other.SetString(QStringLiteral("040704b0"), QStringLiteral("ProductVersion"),
                    QStringLiteral("2.5"));
    EXPECT_FALSE(other.QueryValue(kProductVersion, value));
    EXPECT_TRUE(
        other.QueryValue(QStringLiteral("\\StringFileInfo\\040704b0\\ProductVersion"), value));
    EXPECT_EQ(value, QStringLiteral("2.5"));
}

} // namespace
