// The message pane: the system log's lines from any thread in their order, the severity
// colours, the filter, copy and save.

#include <numeric>
#include <thread>
#include <vector>

#include "log/LogFile.h"
#include "tests/ui/WindowFixture.h"
#include "ui/MessageFilterModel.h"
#include "ui/MessageLogModel.h"
#include "ui/MessagePane.h"

namespace pg::test {
namespace {

using MessagePaneTest = WindowFixture;

QStringList Lines(const QAbstractItemModel& model) {
    QStringList lines;
    for (int row = 0; row < model.rowCount(); ++row) {
        lines << model.index(row, 0).data().toString();
    }
    return lines;
}

// 8 threads log 80 lines each while the window takes them: every line arrives, each thread's
// in its order. Lines still pending when the window goes are dropped without a crash.
TEST_F(MessagePaneTest, LinesFromManyThreadsArriveInTheirOrderOrGoWithTheWindow) {
    Start();
    Window().Messages()->Clear();
    constexpr int kThreads = 8;
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([t] {
                for (int i = 0; i < 80; ++i) {
                    systemLog.Log(1, "writer %d line %03d\n", t, i);
                }
            });
        }
        QCoreApplication::processEvents();  // the window thread takes lines meanwhile
    }
    systemLog.Log(1, "all written\n");
    ASSERT_TRUE(WaitFor([this] {
        const QStringList lines = Lines(*Window().Messages()->Lines());
        return !lines.isEmpty() && lines.last().endsWith(" all written");
    }));
    const QRegularExpression line(R"( writer (\d) line (\d{3})$)");
    int next[kThreads] = {};
    const QStringList lines = Lines(*Window().Messages()->Lines());
    for (const QString& text : lines.mid(0, lines.size() - 1)) {
        const QRegularExpressionMatch match = line.match(text);
        ASSERT_TRUE(match.hasMatch()) << text.toStdString();
        EXPECT_EQ(match.captured(2).toInt(), next[match.captured(1).toInt()]++);
    }
    EXPECT_EQ(std::accumulate(std::begin(next), std::end(next), 0), kThreads * 80);

    std::thread late([] {
        for (int i = 0; i < 200; ++i) {
            systemLog.Log(1, "late line %d\n", i);
        }
    });
    window_.reset();
    late.join();
    QCoreApplication::processEvents();
}

TEST_F(MessagePaneTest, SeverityColoursFilterCopyAndSave) {
    MessagePane pane;
    const QStringList texts = {
        "LPD Daemon is ready to accept print request.",
        "Error - SendJob() : print queue far : send() fails",
        "LPD Daemon is paused.  No more print request will be accepted.",
        "RemovePriner() fail.  Print queue (lp) not exist.",
        "Socket(7) : Receive new print job for print queue (lp)",
    };
    for (const QString& text : texts) {
        pane.AddLine(text);
    }
    // Errors and warnings stand out, each in a colour of its own.
    const auto colour = [&](int row) {
        return pane.Lines()->index(row, 0).data(Qt::ForegroundRole);
    };
    EXPECT_FALSE(colour(0).isValid());
    EXPECT_TRUE(colour(1).isValid() && colour(2).isValid() && colour(1) != colour(2));

    const struct {
        const char* text;
        int minimum;  // the severity box's entry
        QStringList shown;
    } filters[] = {
        {"print queue (LP)", 0, {texts[3], texts[4]}},
        {"daemon", 1, {texts[2]}},
        {"", 2, {texts[1], texts[3]}},  // kept for what follows
    };
    for (const auto& f : filters) {
        Enter(pane.FilterEdit(), f.text);
        pane.SeverityBox()->setCurrentIndex(f.minimum);
        EXPECT_EQ(Lines(*pane.Shown()), f.shown) << f.text << " " << f.minimum;
    }

    // Copy takes the selected shown lines in order; Save As the shown lines.
    pane.View()->selectionModel()->select(pane.Shown()->index(1, 0), QItemSelectionModel::Select);
    pane.View()->selectionModel()->select(pane.Shown()->index(0, 0), QItemSelectionModel::Select);
    pane.View()->findChild<QAction*>("actCopyMessages")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), texts[1] + "\n" + texts[3]);
    TempDir dir("pgmessages");
    ASSERT_TRUE(pane.SaveShownLines(QString::fromStdString(dir / "saved.log")));
    EXPECT_EQ(ReadFile(dir / "saved.log"), (texts[1] + "\n" + texts[3] + "\n").toStdString());
}

}  // namespace
}  // namespace pg::test
