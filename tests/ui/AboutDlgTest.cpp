#include "ui/AboutDlg.h"
#include "platform/ProductVersion.h"
#include "platform/VersionInfo.h"
#include "res/ResourceIds.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(ProductVersionTest, ProgramsOwnBlockGivesOnePointZero) {
    QString version;
    ASSERT_TRUE(GetProductVersion(version));
    EXPECT_EQ(version, QStringLiteral("1.0"));
}

TEST(ProductVersionTest, BlockWithoutUsEnglishLeavesTheTextAsItWas) {
    platform::VersionInfo german;
    german.SetString(QStringLiteral("040704b0"), QStringLiteral("ProductVersion"),
                     QStringLiteral("2.0"));
    QString version = QStringLiteral("unchanged");
    EXPECT_FALSE(GetProductVersion(german, version));
    EXPECT_EQ(version, QStringLiteral("unchanged"));
}

TEST(AboutDlgTest, ShowsNameAndVersionAndClosesWithOk) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About DELVOR RivivozUzuvod"));
    ASSERT_NE(about.m_staticVersion, nullptr);
    EXPECT_EQ(about.m_staticVersion->text(), QStringLiteral("DELVOR RivivozUzuvod, Version 1.0"));
    EXPECT_EQ(about.parentWidget(), nullptr);

    auto* ok = about.item<QPushButton>(res::IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));

    QSignalSpy accepted(&about, &QDialog::accepted);
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_FALSE(about.isVisible());
}

} // namespace
