#include "platform/VersionInfo.h"
#include "res/VersionResource.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using platform::VersionInfo;

namespace {

TEST(VersionInfoTest, ProgramBlockAnswersStringAndFixedQueries) {
    const VersionInfo info(res::ProgramVersionResource());
    struct Case {
        const char* subBlock;
        bool found;
        const char* value;
    };
    const Case cases[] = {
        {"\\StringFileInfo\\040904e4\\ProductVersion", true, "1.0"},
        {"\\StringFileInfo\\040904E4\\productversion", true, "1.0"},
        {"\\StringFileInfo\\040904e4\\FileVersion", true, "1.0.0.0"},
        {"\\StringFileInfo\\040904e4\\NoSuchEntry", false, ""},
        {"\\StringFileInfo\\040704b0\\ProductVersion", false, ""},
        {"\\VarFileInfo\\Translation", false, ""},
        {"\\StringFileInfo\\040904e4", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        QString value = QStringLiteral("unchanged");
        EXPECT_EQ(info.QueryValue(QString::fromLatin1(c.subBlock), value), c.found) << c.subBlock;
        EXPECT_EQ(value, c.found ? QString::fromLatin1(c.value) : QStringLiteral("unchanged"))
            << c.subBlock;
    }

    VersionInfo::FixedFileInfo fixed;
    ASSERT_TRUE(info.QueryFixedFileInfo(fixed));
    EXPECT_EQ(fixed.fileVersion, (std::array<WORD, 4>{1, 0, 0, 0}));
    EXPECT_EQ(fixed.productVersion, (std::array<WORD, 4>{1, 0, 0, 0}));
}

TEST(VersionInfoTest, BlockWithoutTheUsEnglishTableHasNoProductVersion) {
    VersionInfo info;
    QString value;
    VersionInfo::FixedFileInfo fixed;
    EXPECT_FALSE(info.QueryFixedFileInfo(fixed));
    EXPECT_FALSE(
        info.QueryValue(QStringLiteral("\\StringFileInfo\\040904e4\\ProductVersion"), value));

    info.SetString(QStringLiteral("040704b0"), QStringLiteral("ProductVersion"),
                   QStringLiteral("2.5"));
    EXPECT_FALSE(
        info.QueryValue(QStringLiteral("\\StringFileInfo\\040904e4\\ProductVersion"), value));
    EXPECT_TRUE(
        info.QueryValue(QStringLiteral("\\StringFileInfo\\040704b0\\ProductVersion"), value));
    EXPECT_EQ(value, QStringLiteral("2.5"));
}

TEST(VersionInfoTest, OnlyTheProgramsOwnFileCarriesABlock) {
    VersionInfo info;
    EXPECT_TRUE(VersionInfo::GetFileVersionInfo(QCoreApplication::applicationFilePath(), info));
    QString value;
    EXPECT_TRUE(
        info.QueryValue(QStringLiteral("\\StringFileInfo\\040904e4\\ProductVersion"), value));
    EXPECT_EQ(value, QStringLiteral("1.0"));

    VersionInfo other;
    EXPECT_FALSE(VersionInfo::GetFileVersionInfo(QString(), other));
    EXPECT_FALSE(VersionInfo::GetFileVersionInfo(QStringLiteral("/no/such/program"), other));
    EXPECT_FALSE(VersionInfo::GetFileVersionInfo(QCoreApplication::applicationDirPath(), other));
}

} // namespace
