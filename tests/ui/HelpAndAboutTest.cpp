// The help file and its viewer, and the about box from its own library.

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QTextBrowser>
#include <QUrl>

#include "tests/support/TempDir.h"
#include "tests/ui/MainWindowFixture.h"
#include "tests/ui/ModalAnswerer.h"
#include "ui/HelpViewer.h"
#include "ui/HelpWindow.h"

namespace pg::test {
namespace {

HelpWindow* OpenHelpWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* help = qobject_cast<HelpWindow*>(widget); help && help->isVisible()) {
            return help;
        }
    }
    return nullptr;
}

// Every help context opens the topic written for it: the anchor named after the context is
// followed by that topic's heading.
TEST(HelpTest, EveryContextHasItsTopicInTheHelpFile) {
    const std::string help = ReadFile(HelpFilePath().toStdString());
    const struct {
        int context;
        const char* heading;
    } topics[] = {
        {kHelpContents, "Pressgate Help"},
        {kHelpLocalProperties, "Local Printer Properties"},
        {kHelpRemoteProperties, "Remote Printer Properties"},
        {kHelpQueueViewer, "View Printer Queue"},
        {kHelpGeneralSettings, "General Settings"},
        {kHelpLogging, "Logging Options"},
        {kHelpWizardPage1, "Add Printer: Create LPD Queue"},
        {kHelpWizardPage2, "Add Printer: Remote Host Settings"},
    };
    for (const auto& topic : topics) {
        const std::string anchor = "<a name=\"" + std::to_string(topic.context) + "\"></a>\n";
        EXPECT_NE(help.find(anchor + "<h1>" + topic.heading + "</h1>"), std::string::npos)
            << topic.context;

        ShowHelp(nullptr, topic.context);
        HelpWindow* window = OpenHelpWindow();
        ASSERT_NE(window, nullptr) << topic.context;
        EXPECT_EQ(window->windowTitle(), "Pressgate Help");
        EXPECT_EQ(window->Topic(), topic.context);
        EXPECT_EQ(window->Browser()->source().fragment(), QString::number(topic.context));
        EXPECT_TRUE(window->Browser()->toPlainText().contains(topic.heading)) << topic.context;
    }
    // One window serves every topic.
    int windows = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        windows += qobject_cast<HelpWindow*>(widget) != nullptr;
    }
    EXPECT_EQ(windows, 1);
    OpenHelpWindow()->close();
}

TEST(HelpTest, EveryLinkBetweenTopicsLeadsToAnAnchor) {
    const std::string help = ReadFile(HelpFilePath().toStdString());
    for (size_t at = help.find("href=\"#"); at != std::string::npos;
         at = help.find("href=\"#", at + 1)) {
        const size_t start = at + 7;
        const std::string target = help.substr(start, help.find('"', start) - start);
        EXPECT_NE(help.find("<a name=\"" + target + "\">"), std::string::npos) << target;
    }
}

using AboutTest = MainWindowFixture;

TEST_F(AboutTest, HelpContentsOpensTheContentsTopic) {
    Start();
    MenuItem("Help", "Contents")->trigger();
    HelpWindow* window = OpenHelpWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Topic(), kHelpContents);
    window->close();
}

TEST_F(AboutTest, AboutComesFromTheLibraryBesideTheProgram) {
    Start();
    ASSERT_TRUE(QDir(QCoreApplication::applicationDirPath()).exists("libpgabout.so"));
    ModalAnswerer answerer;
    MenuItem("Help", "About")->trigger();
    ASSERT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.All()[0].title, "About Pressgate");
    EXPECT_TRUE(answerer.All()[0].text.contains("Version " PRESSGATE_VERSION_TEXT));
}

TEST_F(AboutTest, WithoutTheLibraryTheWindowSaysSo) {
    Start();
    TempDir empty("pgnoabout");
    Window().SetAboutLibraryDirectory(QString::fromStdString(empty.Path()));
    ModalAnswerer answerer;
    MenuItem("Help", "About")->trigger();
    EXPECT_EQ(answerer.Texts(), QStringList({"Cant Locate PGABOUT.DLL !!!"}));
    EXPECT_EQ(answerer.All()[0].title, "Pressgate");

    // A file of that name that is no library is as good as none.
    WriteFile(empty / "libpgabout.so", "not a library\n");
    answerer.Clear();
    MenuItem("Help", "About")->trigger();
    EXPECT_EQ(answerer.Texts(), QStringList({"Cant Locate PGABOUT.DLL !!!"}));
}

}  // namespace
}  // namespace pg::test
