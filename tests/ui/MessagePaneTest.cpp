// The message pane: the system log's lines from any thread in their order, the
// severity colours, the filter, copy, save and clear.

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

// "ddd dd mmm yyyy  hh:mm:ss am/pm"
const QString kStamp = R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat) \d\d )"
                       R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4}  )"
                       R"((0[1-9]|1[0-2]):[0-5]\d:[0-5]\d (am|pm))";

QStringList Lines(const QAbstractItemModel& model) {
    QStringList lines;
    for (int row = 0; row < model.rowCount(); ++row) {
        lines << model.index(row, 0).data().toString();
    }
    return lines;
}

// Shown on the window, the pane begins with the program and host lines. 8 threads then log 80
// lines each while the window takes them: every line arrives stamped, each thread's in its
// order. Lines still pending when the window goes are dropped.
TEST_F(MessagePaneTest, LinesFromManyThreadsArriveInTheirOrderOrGoWithTheWindow) {
    Start();
    Window().show();
    const QStringList first = Lines(*Window().Messages()->Lines());
    const QString patterns[] = {R"(Pressgate \d+\.\d+\.\d+ on Linux \S+)",
                                kStamp + R"(  Local Hostname: \S+)",
                                kStamp + R"(  Local IP Address: \d+\.\d+\.\d+\.\d+)"};
    ASSERT_GE(first.size(), 3) << first.join('\n').toStdString();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(QRegularExpression("^" + patterns[i] + "$").match(first[i]).hasMatch())
            << first[i].toStdString();
    }

    Window().Messages()->Clear();
    constexpr int kThreads = 8;
    constexpr int kLinesEach = 80;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLinesEach; ++i) {
                systemLog.Log(1, "writer %d line %03d\n", t, i);
            }
        });
    }
    QCoreApplication::processEvents();  // the window thread takes lines meanwhile
    for (auto& writer : writers) {
        writer.join();
    }
    systemLog.Log(1, "all written\n");
    ASSERT_TRUE(WaitFor([this] {
        const QStringList lines = Lines(*Window().Messages()->Lines());
        return !lines.isEmpty() && lines.last().endsWith(" all written");
    }));
    const QRegularExpression line("^" + kStamp + R"( writer (\d) line (\d{3})$)");
    int next[kThreads] = {};
    for (const QString& text : Lines(*Window().Messages()->Lines()).mid(0, kThreads * kLinesEach)) {
        const QRegularExpressionMatch match = line.match(text);
        ASSERT_TRUE(match.hasMatch()) << text.toStdString();
        const int t = match.captured(5).toInt();
        EXPECT_EQ(match.captured(6).toInt(), next[t]++) << text.toStdString();
    }

    // Must not crash (ASan, TSan): the window goes while a writer logs and its drain is pending.
    std::thread late([] {
        for (int i = 0; i < 200; ++i) {
            systemLog.Log(1, "late line %d\n", i);
        }
    });
    window_.reset();
    late.join();
    systemLog.Log(1, "after the window\n");
    QCoreApplication::processEvents();
}

TEST_F(MessagePaneTest, SeverityColoursFilterCopyAndSave) {
    MessagePane pane;
    const struct {
        const char* text;
        MessageLogModel::Severity severity;
    } lines[] = {
        {"LPD Daemon is ready to accept print request.", MessageLogModel::Severity::Info},
        {"Error - SendJob() : print queue far : send() fails", MessageLogModel::Severity::Error},
        {"LPD Daemon is paused.  No more print request will be accepted.",
         MessageLogModel::Severity::Warning},
        {"RemovePriner() fail.  Print queue (lp) not exist.", MessageLogModel::Severity::Error},
        {"Socket(7) : Receive new print job for print queue (lp)", MessageLogModel::Severity::Info},
    };
    QStringList texts;
    for (const auto& l : lines) {
        pane.AddLine(l.text);
        texts << l.text;
    }
    MessageLogModel& model = *pane.Lines();
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        EXPECT_EQ(index.data(MessageLogModel::kSeverityRole).toInt(),
                  static_cast<int>(lines[row].severity))
            << lines[row].text;
        // Errors and warnings stand out, each in a colour of its own.
        const QVariant colour = index.data(Qt::ForegroundRole);
        EXPECT_EQ(colour.isValid(), lines[row].severity != MessageLogModel::Severity::Info);
    }
    EXPECT_NE(model.index(1, 0).data(Qt::ForegroundRole),
              model.index(2, 0).data(Qt::ForegroundRole));

    const struct {
        const char* text;
        int minimum;  // the severity box's entry
        QStringList shown;
    } filters[] = {
        {"", 0, texts},
        {"print queue (LP)", 0, {texts[3], texts[4]}},
        {"daemon", 1, {texts[2]}},
        {"", 1, {texts[1], texts[2], texts[3]}},
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
