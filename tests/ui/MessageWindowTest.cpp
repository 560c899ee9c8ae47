// The message window: system-log lines from any thread arrive on the window thread, stamped,
// in each thread's order; the 500-line rule; clearing; no line reaches a destroyed window.

#include <QAction>
#include <QCoreApplication>
#include <QListWidget>
#include <QRegularExpression>
#include <QScrollBar>
#include <QToolButton>
#include <thread>
#include <vector>

#include "log/cLogFile.h"
#include "tests/ui/MainWindowFixture.h"
#include "tests/ui/ModalAnswerer.h"

namespace pg::test {
namespace {

using MessageWindowTest = MainWindowFixture;

QStringList Lines(const TPressgate& window) {
    QStringList lines;
    for (int i = 0; i < window.MessageList()->count(); ++i) {
        lines << window.MessageList()->item(i)->text();
    }
    return lines;
}

QStringList LinesContaining(const TPressgate& window, const QString& marker) {
    return Lines(window).filter(marker);
}

const QString kStamp = R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat) \d\d )"
                       R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4}  )"
                       R"((0[1-9]|1[0-2]):[0-5]\d:[0-5]\d (am|pm))";

TEST_F(MessageWindowTest, LinesFromManyThreadsAllArriveStampedInEachThreadsOrder) {
    Start();
    Window().MessageList()->clear();
    constexpr int kThreads = 8;
    constexpr int kLinesEach = 50;  // 400 in all: below the cap, so every line stays
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLinesEach; ++i) {
                systemLog.Log(1, "writer %d line %03d\n", t, i);
            }
        });
    }
    // The window thread takes lines while the writers are still writing.
    EXPECT_TRUE(WaitFor(
        [this] { return LinesContaining(Window(), "writer ").size() == kThreads * kLinesEach; }));
    for (auto& writer : writers) {
        writer.join();
    }

    const QRegularExpression line("^" + kStamp + R"( writer (\d) line (\d{3})$)");
    int next[kThreads] = {};
    for (const QString& text : LinesContaining(Window(), "writer ")) {
        const QRegularExpressionMatch match = line.match(text);
        ASSERT_TRUE(match.hasMatch()) << text.toStdString();
        const int t = match.captured(5).toInt();
        EXPECT_EQ(match.captured(6).toInt(), next[t]) << text.toStdString();
        next[t] = match.captured(6).toInt() + 1;
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(next[t], kLinesEach) << t;
    }
}

TEST_F(MessageWindowTest, TheWindowKeepsFiveHundredLinesBeforeEachNewOne) {
    Start();
    QListWidget* list = Window().MessageList();
    list->clear();
    for (int i = 0; i < 500; ++i) {
        Window().AddMessageLine(QString("line %1").arg(i));
    }
    EXPECT_EQ(list->count(), 500);
    Window().AddMessageLine("line 500");
    EXPECT_EQ(list->count(), 501);
    EXPECT_EQ(list->item(0)->text(), "line 0");
    Window().AddMessageLine("line 501");
    EXPECT_EQ(list->count(), 501);
    EXPECT_EQ(list->item(0)->text(), "line 1");
    EXPECT_EQ(list->item(500)->text(), "line 501");
    // Scrolled to the newest line.
    EXPECT_EQ(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
}

TEST_F(MessageWindowTest, SixHundredLoggedLinesLeaveTheNewest501) {
    Start();
    Window().MessageList()->clear();
    for (int i = 0; i < 600; ++i) {
        systemLog.Log(1, "burst %03d\n", i);
    }
    EXPECT_TRUE(WaitFor([this] {
        const QStringList lines = Lines(Window());
        return !lines.isEmpty() && lines.last().endsWith("burst 599");
    }));
    const QStringList lines = Lines(Window());
    ASSERT_EQ(lines.size(), 501);
    EXPECT_TRUE(lines.first().endsWith(" burst 099")) << lines.first().toStdString();
}

TEST_F(MessageWindowTest, ClearListMenuAndButtonEmptyTheWindow) {
    Start();
    QListWidget* list = Window().MessageList();
    auto fill = [&] {
        for (int i = 0; i < 3; ++i) {
            Window().AddMessageLine("something");
        }
        ASSERT_GT(list->count(), 0);
    };
    fill();
    list->actions().first()->trigger();  // context menu "Clear List"
    EXPECT_EQ(list->count(), 0);
    fill();
    MenuItem("Options", "Clear message window")->trigger();
    EXPECT_EQ(list->count(), 0);
    fill();
    ToolButton("Clear Message Window")->click();
    EXPECT_EQ(list->count(), 0);
}

TEST_F(MessageWindowTest, LinesPendingForADestroyedWindowGoNowhere) {
    Start();
    std::thread writer([] {
        for (int i = 0; i < 200; ++i) {
            systemLog.Log(1, "late line %d\n", i);
        }
    });
    // The window goes while the writer still writes and its drain call is pending.
    window_.reset();
    writer.join();
    systemLog.Log(1, "after the window\n");
    QCoreApplication::processEvents();
    SUCCEED();
}

}  // namespace
}  // namespace pg::test
