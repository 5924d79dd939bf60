#include "platform/HelpWindow.h"
#include "platform/ChmFile.h"
#include "platform/HtmlHelp.h"

#include "MessageRecorder.h"
#include "WaitFor.h"

#include <QDir>
#include <QFile>
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
// that a window blocked by a modal one does not get the click.
bool clickLink(HelpWindow& window, const QString& label) {
    const QTextCursor found = window.document()->find(label);
    if (found.isNull())
        return false;
    QTextCursor middle(window.document());
    middle.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    window.setTextCursor(middle);
    window.ensureCursorVisible();
    const QPoint point = window.cursorRect(middle).center();
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      window.viewport()->mapTo(&window, point));
    return true;
}

TEST(ChmFileTest, BuiltHelpFileHoldsItsPagesAndNamesTheDefaultTopic) {
    ChmFile chm;
    ASSERT_TRUE(chm.Open(kHelpFile)) << qPrintable(kHelpFile);
    EXPECT_EQ(chm.DefaultTopic(), QStringLiteral("/index.html"));
    EXPECT_EQ(chm.Title(), QStringLiteral("DELVOR RivivozUzuvod Help"));
    for (const char* page : {"index.html", "/connecting.html", "fields.html", "settings.html",
                             "firmware.html", "plc.html", "help.css", "icon48.png"})
        EXPECT_TRUE(chm.Contains(QString::fromLatin1(page))) << page;
    EXPECT_FALSE(chm.Contains(QStringLiteral("missing.html")));

    QByteArray page;
    ASSERT_TRUE(chm.Read(QStringLiteral("/index.html"), page));
    EXPECT_TRUE(page.contains("href=\"connecting.html\""));
    QByteArray image;
    ASSERT_TRUE(chm.Read(QStringLiteral("icon48.png"), image));
    EXPECT_EQ(QImage::fromData(image).size(), QSize(48, 48));
    EXPECT_FALSE(chm.Read(QStringLiteral("missing.html"), page));
    EXPECT_TRUE(page.isEmpty());
}

TEST(ChmFileTest, MissingOrDamagedFilesDoNotOpen) {
    ChmFile chm;
    EXPECT_FALSE(chm.Open(QStringLiteral("/no/such/help.chm")));
    QTemporaryDir dir;
    const QString damaged = dir.filePath(QStringLiteral("damaged.chm"));
    QFile file(damaged);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    EXPECT_FALSE(chm.Open(damaged));
    EXPECT_FALSE(chm.IsOpen());
    QByteArray data;
    EXPECT_FALSE(chm.Read(QStringLiteral("/index.html"), data));
}

TEST(HelpWindowTest, OpensTheDefaultTopicAndFollowsLinks) {
    HelpWindow window;
    ASSERT_TRUE(window.OpenFile(kHelpFile));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.currentTopic(), QStringLiteral("/index.html"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("DELVOR RivivozUzuvod Help"));
    EXPECT_TRUE(window.toPlainText().contains(QStringLiteral("Connecting to an encoder")));

    // The page's picture comes out of the file too.
    const QVariant image = window.document()->resource(QTextDocument::ImageResource,
                                                       QUrl(QStringLiteral("icon48.png")));
    EXPECT_TRUE(image.isValid());

    const QString picture =
        QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(QStringLiteral("help-window.png"));
    EXPECT_TRUE(window.grab().save(picture)) << qPrintable(picture);

    ASSERT_TRUE(clickLink(window, QStringLiteral("Upgrading the firmware")));
    EXPECT_TRUE(testsupport::WaitFor(
        [&] { return window.currentTopic() == QStringLiteral("/firmware.html"); }, 5000))
        << qPrintable(window.currentTopic());
    EXPECT_TRUE(window.toPlainText().contains(QStringLiteral("S-record")));

    ASSERT_TRUE(clickLink(window, QStringLiteral("Contents")));
    EXPECT_TRUE(testsupport::WaitFor(
        [&] { return window.currentTopic() == QStringLiteral("/index.html"); }, 5000))
        << qPrintable(window.currentTopic());
}

TEST(HelpWindowTest, MissingPagesAndFilesAreToldInTheWindowOnly) {
    testsupport::MessageRecorder recorder;
    HelpWindow window;
    ASSERT_TRUE(window.OpenFile(kHelpFile));
    EXPECT_FALSE(window.ShowTopic(QStringLiteral("nowhere.html")));
    EXPECT_TRUE(window.toPlainText().contains(QStringLiteral("/nowhere.html")));

    auto owner = std::make_unique<QWidget>();
    owner->setWindowModality(Qt::ApplicationModal); // as the main dialog runs
    owner->show();
    QPointer<HelpWindow> shown =
        platform::HtmlHelp(owner.get(), QStringLiteral("/no/such/file.chm"));
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(shown->toPlainText().startsWith(QStringLiteral("Cannot open the help file")));
    EXPECT_EQ(recorder.count(), 0u);

    // The same owner's next request reuses the window, now with the real file.
    EXPECT_EQ(platform::HtmlHelp(owner.get(), kHelpFile), shown.data());
    EXPECT_EQ(shown->currentTopic(), QStringLiteral("/index.html"));
    // A window of its own: usable while its owner is modal or disabled, closed when the
    // owner goes.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shown));
    owner->setEnabled(false);
    EXPECT_TRUE(shown->isEnabled());
    ASSERT_TRUE(clickLink(*shown, QStringLiteral("Connecting to an encoder")));
    EXPECT_TRUE(testsupport::WaitFor(
        [&] { return shown->currentTopic() == QStringLiteral("/connecting.html"); }, 5000));
    owner.reset();
    EXPECT_TRUE(testsupport::WaitFor([&] { return shown.isNull(); }, 5000));
}

} // namespace
