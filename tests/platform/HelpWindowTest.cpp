#include "platform/HelpWindow.h"
#include "platform/ChmFile.h"
#include "platform/HtmlHelp.h"

#include "MessageRecorder.h"
#include "SRecordFile.h"
#include "WaitFor.h"

#include <QImage>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <memory>

using platform::ChmFile;
using platform::HelpWindow;

namespace {

const QString kHelpFile = QStringLiteral(HELP_FILE);

// Clicks the link whose text is `label`, as a person would: through the window system, so
// that a window blocked by a modal one does not get the click. True once the topic is shown.
bool followLink(HelpWindow& window, const char* label, const char* topic) {
    const QTextCursor found = window.document()->find(QLatin1String(label));
    QTextCursor middle(window.document());
    middle.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    window.setTextCursor(middle);
    window.ensureCursorVisible();
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      window.viewport()->mapTo(&window, window.cursorRect(middle).center()));
    return testsupport::WaitFor([&] { return window.currentTopic() == QLatin1String(topic); },
                                5000);
}

TEST(ChmFileTest, BuiltHelpFileHoldsItsPagesAndNamesTheDefaultTopic) {
    ChmFile chm;
    ASSERT_TRUE(chm.Open(kHelpFile)) << qPrintable(kHelpFile);
    EXPECT_EQ(chm.DefaultTopic(), QStringLiteral("/index.html"));
    for (const char* page : {"/connecting.html", "fields.html", "settings.html", "plc.html"})
        EXPECT_TRUE(chm.Contains(QLatin1String(page))) << page;

    // The main page names every box, field and button of the window as the window captions it.
    QByteArray html;
    ASSERT_TRUE(chm.Read(QStringLiteral("/index.html"), html));
    QTextDocument mainPage;
    mainPage.setHtml(QString::fromUtf8(html));
    const QString text = mainPage.toPlainText().simplified();
    const QStringList captions =
        QStringLiteral("Target Device IP Address|Connect|Ethernet|New IP Address|Subnet Mask|"
                       "Gateway|MAC ID|Set New IP Address|Firmware|Hardware Rev|Boot Rev|"
                       "Current Exec Rev|Upgrade Firmware|Protocol|Resolver Position|"
                       "Last Updated On|Current Protocol|Change Protocol to|Change Protocol|"
                       "Extra Parameters|Help|Close")
            .split(u'|');
    for (const QString& caption : captions)
        EXPECT_TRUE(text.contains(caption)) << qPrintable(caption);

    QByteArray image;
    QTemporaryDir dir;
    const QString damaged = dir.filePath(QStringLiteral("damaged.chm"));
    ASSERT_TRUE(testsupport::WriteFile(damaged, QByteArray(4096, 'x')));
    for (const QString& path : {QStringLiteral("/no/such/help.chm"), damaged}) {
        ChmFile other;
        EXPECT_FALSE(other.Open(path) || other.IsOpen());
        EXPECT_FALSE(other.Read(QStringLiteral("/index.html"), image));
    }
}

// A missing file is told in the window, not in a box; the owner's next request reuses it: the
// default topic, its picture, links clicked while the owner is modal or disabled; ends with it.
TEST(HelpWindowTest, ShowsTopicsFollowsLinksAndFollowsItsOwner) {
    testsupport::MessageRecorder recorder;
    auto owner = std::make_unique<QWidget>();
    owner->setWindowModality(Qt::ApplicationModal); // as the main dialog runs
    owner->show();
    QPointer<HelpWindow> shown =
        platform::HtmlHelp(owner.get(), QStringLiteral("/no/such/file.chm"));
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->toPlainText(), u"Cannot open the help file \"/no/such/file.chm\".");
    EXPECT_EQ(recorder.count(), 0u);
    EXPECT_EQ(platform::HtmlHelp(owner.get(), kHelpFile), shown.data());
    EXPECT_EQ(shown->currentTopic(), QStringLiteral("/index.html"));
    EXPECT_EQ(shown->windowTitle(), QStringLiteral("DELVOR RivivozUzuvod Help"));
    const QVariant image = shown->document()->resource(QTextDocument::ImageResource,
                                                       QUrl(QStringLiteral("icon48.png")));
    EXPECT_EQ(image.value<QImage>().size(), QSize(48, 48));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shown));
    EXPECT_TRUE(followLink(*shown, "Upgrading the firmware", "/firmware.html"));
    EXPECT_TRUE(shown->toPlainText().contains(QStringLiteral("S-record")));
    EXPECT_TRUE(followLink(*shown, "Contents", "/index.html"));
    EXPECT_FALSE(shown->ShowTopic(QStringLiteral("nowhere.html")));
    EXPECT_EQ(shown->toPlainText(), u"The page \"/nowhere.html\" is not in this help file.");
    shown->ShowTopic(QStringLiteral("/index.html"));
    owner->setEnabled(false);
    EXPECT_TRUE(followLink(*shown, "Connecting to an encoder", "/connecting.html"));
    owner.reset();
    EXPECT_TRUE(testsupport::WaitFor([&] { return shown.isNull(); }, 5000));
}

} // namespace
