// The dialogs driven as an operator drives them, typing and clicking, with what they write
// checked in pgate.ini: the add-queue wizard, General Settings and Logging Options, the queue
// viewer and the two queue properties dialogs; each window's title, size and help topic.

#include <filesystem>
#include <string>
#include <tuple>

#include "config/GeneralSettings.h"
#include "config/ProfileFile.h"
#include "log/LogFile.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/HelpWindow.h"
#include "ui/JobSizeText.h"

namespace pg::test {
namespace {

// The child of dialog with that object name; null when there is none.
template <typename T = QWidget>
T* Find(QWidget* dialog, const char* name) {
    return dialog->findChild<T*>(name);
}

// A press of the left mouse button on a button, radio button or check box.
void Click(QAbstractButton* button) {
    // A check box or radio button takes clicks on its indicator and caption only, and its
    // centre may lie beyond them when a layout stretches it.
    const bool pushButton = qobject_cast<QPushButton*>(button) != nullptr;
    const QPoint where = pushButton ? button->rect().center() : QPoint(6, button->height() / 2);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, where);
}

void Press(QWidget* dialog, const char* button) {
    Click(Find<QPushButton>(dialog, button));
}

// What a field shows: a check box "Y" or "N", any other its text.
QString Shown(QWidget* field) {
    if (auto* box = qobject_cast<QCheckBox*>(field)) {
        return box->isChecked() ? "Y" : "N";
    }
    if (auto* box = qobject_cast<QComboBox*>(field)) {
        return box->currentText();
    }
    return field->property("text").toString();
}

QStringList ShownAll(QWidget* dialog, std::initializer_list<const char*> names) {
    QStringList texts;
    for (const char* name : names) {
        texts << Shown(Find(dialog, name));
    }
    return texts;
}

// Enters a value as the operator would: clicks a check box into state "Y" or "N", types text
// over a field's whole content.
void Enter(QWidget* field, const QString& value) {
    if (auto* box = qobject_cast<QCheckBox*>(field)) {
        if (Shown(box) != value) {
            Click(box);
        }
        return;
    }
    QMetaObject::invokeMethod(field, "selectAll");
    QTest::keyClicks(field, value);
}

// The up-down arrows stop at minimum and maximum (typed one step inside, then two steps out).
void ExpectArrowRange(QSpinBox* spin, int minimum, int maximum) {
    SCOPED_TRACE(spin->objectName().toStdString());
    for (const auto& [start, key, end] : {std::tuple(maximum - 1, Qt::Key_Up, maximum),
                                          std::tuple(minimum + 1, Qt::Key_Down, minimum)}) {
        Enter(spin, QString::number(start));
        QTest::keyClick(spin, key);
        EXPECT_EQ(spin->value(), end);
        QTest::keyClick(spin, key);
        EXPECT_EQ(spin->value(), end);
    }
}

void Reshow(QWidget* dialog) {
    dialog->hide();
    dialog->show();
}

// A field of a settings dialog: its object name, its key, what it shows, what the test enters.
struct Field {
    const char* name;
    const char* key;
    QString shown;
    QString entered;
};

// Shows dialog (again), expects each field's shown or entered text, enters the new ones.
void ShowAndEnter(QWidget* dialog, const std::vector<Field>& fields, bool entered) {
    Reshow(dialog);
    for (const Field& f : fields) {
        EXPECT_EQ(Shown(Find(dialog, f.name)), entered ? f.entered : f.shown) << f.name;
        Enter(Find(dialog, f.name), f.entered);
    }
}

class DialogsTest : public MainWindowFixture {
  protected:
    // Shows dialog, enters the fields and presses OK: the dialog closes with every key written.
    void EnterAndSave(QWidget* dialog, const char* section, const std::vector<Field>& fields) {
        ShowAndEnter(dialog, fields, false);
        Press(dialog, "okButton");
        EXPECT_FALSE(dialog->isVisible());
        for (const Field& f : fields) {
            EXPECT_EQ(Key(section, f.key), f.entered.toStdString()) << f.key;
        }
    }
    // The wizard, opened as a double-click on the "Add Printer" row opens it.
    void OpenWizard() {
        Select(TPressgate::kAddPrinterCaption);
        Window().OpenSelected();
        ASSERT_TRUE(wizard1_->isVisible());
    }
    // Clicks the radio button, types the queue name and goes forward (to page 2, or adding a
    // local queue).
    void Wizard(const QString& name, const char* radio = "localRadio") {
        OpenWizard();
        Click(Find<QRadioButton>(wizard1_, radio));
        QTest::keyClicks(Find(wizard1_, "queueNameEdit"), name);
        Press(wizard1_, "nextButton");
    }
    void FinishRemote(const QString& remoteQueue, const QString& host) {
        ASSERT_TRUE(wizard2_->isVisible());
        QTest::keyClicks(Find(wizard2_, "remoteQueueEdit"), remoteQueue);
        QTest::keyClicks(Find(wizard2_, "remoteHostEdit"), host);
        Press(wizard2_, "finishButton");
        EXPECT_FALSE(wizard2_->isVisible());
    }
    QComboBox* PrinterBox() { return Find<QComboBox>(wizard1_, "printerBox"); }

    QTreeWidget* Jobs() { return Find<QTreeWidget>(viewer_, "jobList"); }
    QStringList JobRow(int row) {
        QStringList texts;
        for (int column = 0; column < Jobs()->columnCount(); ++column) {
            texts << Jobs()->topLevelItem(row)->text(column);
        }
        return texts;
    }
    void JobButton(const QString& jobRef, const char* button) {
        const auto found = Jobs()->findItems(jobRef, Qt::MatchExactly, 7);
        ASSERT_EQ(found.size(), 1) << jobRef.toStdString();
        Jobs()->setCurrentItem(found.first());
        Press(viewer_, button);
    }
};

// The visible help window; one window serves every topic.
HelpWindow* OpenHelpWindow() {
    HelpWindow* open = nullptr;
    int windows = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* help = qobject_cast<HelpWindow*>(widget)) {
            ++windows;
            open = help->isVisible() ? help : open;
        }
    }
    EXPECT_LE(windows, 1);
    return open;
}

// Each Help command opens its window's topic, headed like the window, of the help file shipped
// beside the program.
TEST_F(DialogsTest, TitlesSizesAndHelpTopics) {
    StartDialogs();
    const struct {
        QWidget* dialog;  // null: the Help menu's Contents
        const char* title;
        QSize size;
        int context;
    } dialogs[] = {
        {nullptr, "Pressgate Help", {}, 1},
        {localProperties_, "Local Printer Properties", {458, 401}, 100},
        {remoteProperties_, "Remote Printer Properties", {420, 351}, 200},
        {viewer_, "View Printer Queue", {610, 256}, 310},
        {general_, "General Settings", {372, 437}, 400},
        {logging_, "Logging Options", {475, 323}, 500},
        {wizard1_, "Add Printer: Create LPD Queue", {530, 325}, 600},
        {wizard2_, "Add Printer: Remote Host Settings", {530, 325}, 700},
    };
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.title);
        if (d.dialog == nullptr) {
            MenuItem("Help", "Contents")->trigger();
        } else {
            EXPECT_EQ(d.dialog->windowTitle(), d.title);
            EXPECT_EQ(d.dialog->size(), d.size);
            Find<QPushButton>(d.dialog, "helpButton")->click();
        }
        HelpWindow* help = OpenHelpWindow();
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(help->windowTitle(), "Pressgate Help");
        EXPECT_EQ(help->Topic(), d.context);
        EXPECT_EQ(help->Browser()->source().fragment(), QString::number(d.context));
        EXPECT_TRUE(help->Browser()->toPlainText().contains(d.title));
    }
    EXPECT_EQ(localProperties_->findChild<QTabWidget*>()->tabText(0), "Queue Settings");
    EXPECT_EQ(remoteProperties_->findChild<QTabWidget*>()->tabText(0), "Settings");
}

// --- add-queue wizard --------------------------------------------------------------------------

TEST_F(DialogsTest, WizardAddsALocalQueueOnTheDefaultPrinterStartsAndListsIt) {
    StartDialogs(TestConfig().AddLocalQueue("lp"));
    std::filesystem::create_directories(Daemon().PrinterPath("P"));
    WriteFile(Daemon().PrinterPath(".default"), "P\n");
    OpenWizard();
    EXPECT_EQ(PrinterBox()->count(), 2);
    EXPECT_EQ(ShownAll(wizard1_, {"printerBox", "remoteBox"}), QStringList({"P", "Remote LPD"}));
    EXPECT_FALSE(Find(wizard1_, "backButton")->isEnabled());
    // The radio-button rule: which box is enabled, and the forward button's caption.
    auto* forward = Find<QPushButton>(wizard1_, "nextButton");
    for (const bool local : {false, true}) {
        SCOPED_TRACE(local);
        Click(Find<QRadioButton>(wizard1_, local ? "localRadio" : "remoteRadio"));
        EXPECT_EQ(PrinterBox()->isEnabled(), local);
        EXPECT_EQ(Find(wizard1_, "remoteBox")->isEnabled(), !local);
        EXPECT_EQ(forward->text(), local ? "&Finish" : "&Next >");
        EXPECT_EQ(forward->font().bold(), local);
    }

    QTest::keyClicks(Find(wizard1_, "queueNameEdit"), "Q1");
    Click(forward);
    EXPECT_FALSE(wizard1_->isVisible());
    EXPECT_EQ(QueueEntry("Q1"), "P,,,LPD Printer");
    ASSERT_TRUE(Queue("Q1"));
    EXPECT_EQ(Queue("Q1")->State(), QueueState::Running);
    EXPECT_EQ(Row(Rows() - 1).mid(0, 3), QStringList({"Q1", "0", "running"}));
    EXPECT_EQ(Image(Rows() - 1), 1);
}

TEST_F(DialogsTest, WizardAddsACaseVariantNameButDoesNotStartItWhileTheDaemonIsPaused) {
    StartDialogs(TestConfig().AddLocalQueue("lp"), /*activate=*/false);
    ModalAnswerer answerer;
    Wizard("LP");
    EXPECT_EQ(answerer.Count(), 0);
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp", "LP"}));
    EXPECT_EQ(QueueEntry("LP"), "lp,,,LPD Printer");
    ASSERT_TRUE(Queue("LP"));
    EXPECT_FALSE(Queue("LP")->HasPrintingThread());
    EXPECT_EQ(Cell(2, TPressgate::kStatusColumn), "Initial");
}

TEST_F(DialogsTest, WizardRefusesAnEmptyOrExistingName) {
    StartDialogs(TestConfig().AddLocalQueue("lp"));
    ModalAnswerer answerer;
    const std::string before = IniText();
    Wizard("", "remoteRadio");
    Wizard("");
    EXPECT_EQ(answerer.Texts(),
              QStringList({"Must enter a Printer Queue name", "Must enter a Printer Queue name"}));
    EXPECT_EQ(answerer.All()[0].title, "Pressgate");
    EXPECT_TRUE(wizard1_->isVisible());
    EXPECT_FALSE(wizard2_->isVisible());

    answerer.Clear();
    Wizard("lp");
    EXPECT_EQ(answerer.Texts(), QStringList({"Printer already exist!"}));
    EXPECT_EQ(answerer.All()[0].title, "Error");
    EXPECT_FALSE(wizard1_->isVisible());
    EXPECT_EQ(Captions().size(), 2);
    EXPECT_EQ(IniText(), before);
}

TEST_F(DialogsTest, WizardWithoutPrintersSwitchesToRemote) {
    StartDialogs();  // an empty printers folder
    ModalAnswerer answerer;
    Wizard("", "localRadio");  // shown once, clicked once
    EXPECT_EQ(answerer.Texts().mid(0, 2),
              QStringList({"There are no printers defined on this machine.",
                           "There are no printers defined on this machine."}));
    EXPECT_TRUE(Find<QRadioButton>(wizard1_, "remoteRadio")->isChecked());
    EXPECT_FALSE(PrinterBox()->isEnabled());
}

// Page 2 empties its fields each time but keeps the port; an empty host gives the local form;
// Back loses the name and reloads the printers.
TEST_F(DialogsTest, WizardAddsRemoteQueuesOnPage2) {
    StartDialogs(TestConfig().AddLocalQueue("lp"));
    Wizard("R1", "remoteRadio");
    EXPECT_TRUE(Find<QPushButton>(wizard2_, "finishButton")->isDefault());
    auto* port = Find<QSpinBox>(wizard2_, "remotePortSpin");
    EXPECT_EQ(port->value(), 515);
    FinishRemote("RQ", "10.0.0.1");
    EXPECT_EQ(QueueEntry("R1"), "RQ,10.0.0.1,515,");
    ASSERT_TRUE(Queue("R1"));
    EXPECT_EQ(Queue("R1")->Target().remoteHost, "10.0.0.1");
    EXPECT_EQ(Queue("R1")->State(), QueueState::Running);
    EXPECT_EQ(Image(Rows() - 1), 2);

    Wizard("R2", "remoteRadio");
    EXPECT_EQ(ShownAll(wizard2_, {"remoteQueueEdit", "remoteHostEdit"}), QStringList({"", ""}));
    ExpectArrowRange(port, 0, 32700);
    Enter(port, "6000");
    FinishRemote("RQ", "");
    EXPECT_EQ(QueueEntry("R2"), "RQ,,,");

    Wizard("R3", "remoteRadio");
    EXPECT_EQ(port->value(), 6000);
    std::filesystem::create_directories(Daemon().PrinterPath("added-meanwhile"));
    Press(wizard2_, "backButton");
    EXPECT_FALSE(wizard2_->isVisible());
    EXPECT_TRUE(wizard1_->isVisible());
    EXPECT_EQ(Shown(Find(wizard1_, "queueNameEdit")), "");
    EXPECT_GE(PrinterBox()->findText("added-meanwhile"), 0);
    EXPECT_EQ(QueueEntry("R3"), "<none>");
}

// --- settings ----------------------------------------------------------------------------------

// Shown from the spooler, a cancelled edit leaves no trace, OK saves every key and the next
// showing reads them back.
TEST_F(DialogsTest, GeneralSettingsShowsCancelsAndSaves) {
    StartDialogs();
    const QString root = QString::fromStdString(Daemon().Root());
    const std::vector<Field> fields = {
        {"hostFileEdit", "HostFile", "/etc/hosts", "/srv/hosts"},
        {"spoolAreaEdit", "SpoolBaseDirectory", root + "/spool", root + "/spool2"},
        {"localTimeoutSpin", "LocalCmdTimeout", "10", "30"},
        {"remoteTimeoutSpin", "RemoteCmdTimeout", "10", "120"},
        {"portSpin", "LPDServerPort", "0", "6515"},
        {"clearSpoolCheck", "ClearSpoolDirectory", "N", "Y"},
        {"testPrintManagerCheck", "TestPrintManager", "Y", "N"},
        {"statusControlCheck", "EnablePrintStatusControl", "Y", "N"},
        {"suppressBannerCheck", "SuppressBanner", "N", "Y"},
        {"activateOnStartCheck", "ActivateLPDOnStart", "N", "Y"},
        {"minimizeOnStartCheck", "MinimizeOnStartup", "N", "Y"},
    };
    const std::string before = IniText();
    ShowAndEnter(general_, fields, false);
    ExpectArrowRange(Find<QSpinBox>(general_, "localTimeoutSpin"), 0, 120);
    ExpectArrowRange(Find<QSpinBox>(general_, "remoteTimeoutSpin"), 0, 120);
    ExpectArrowRange(Find<QSpinBox>(general_, "portSpin"), 0, 32000);
    Press(general_, "cancelButton");
    EXPECT_EQ(IniText(), before);

    EnterAndSave(general_, "GENERAL CONFIGURE", fields);
    EXPECT_EQ(Spooler().Settings().lpdServerPort, 6515);
    ShowAndEnter(general_, fields, true);

    // A port written by hand beyond the field's range (40000 is held as -25536) is shown and,
    // left alone, saved back as it was.
    GeneralSettings settings = Spooler().Settings();
    settings.lpdServerPort = -25536;
    Spooler().SetSettings(settings);
    Reshow(general_);
    EXPECT_EQ(Shown(Find(general_, "portSpin")), "-25536");
    Press(general_, "okButton");
    EXPECT_EQ(Key("GENERAL CONFIGURE", "LPDServerPort"), "-25536");
}

// Without [Logging] the dialog shows its own defaults (not the log facility's); a box is
// checked by "yes" or "y" in any letter case only.
TEST_F(DialogsTest, LoggingOptionsShowsItsDefaultsAndTheYesRule) {
    StartDialogs();
    const ProfileFile profile(Daemon().IniPath());
    profile.DeleteSection("Logging");
    logging_->show();
    const auto fields = {"levelSpin",   "logToScreenCheck", "logToFileCheck", "localCheck",
                         "remoteCheck", "systemTraceEdit",  "localTraceEdit", "remoteTraceEdit"};
    EXPECT_EQ(ShownAll(logging_, fields),
              QStringList({"0", "N", "N", "N", "N", "", "local.log", "remote.log"}));
    ExpectArrowRange(Find<QSpinBox>(logging_, "levelSpin"), 0, 120);

    profile.WriteString("Logging", "LogLevel", "7");
    profile.WriteString("Logging", "LogToScreen", "YES");
    profile.WriteString("Logging", "SystemDebugEnable", "Yes!");
    profile.WriteString("Logging", "LocalTraceEnable", "y");
    profile.WriteString("Logging", "RemoteTraceEnable", "Yes please");
    Reshow(logging_);
    EXPECT_EQ(ShownAll(logging_, fields),
              QStringList({"7", "Y", "N", "Y", "N", "", "local.log", "remote.log"}));
}

// Cancel writes and switches nothing; OK writes every key and switches the screen and the
// three log files at once, while the level and the names wait for the next start.
TEST_F(DialogsTest, LoggingOptionsOkWritesTheKeysAndSwitchesAtOnce) {
    StartDialogs();
    ModalAnswerer answerer;
    auto reached = [this](const char* text) {
        return !Window().MessageList()->findItems(text, Qt::MatchEndsWith).isEmpty();
    };
    systemLog.Log(1, "line before OK\n");
    ASSERT_TRUE(WaitFor([&] { return reached("line before OK"); }));
    const QString trace = QString::fromStdString(Daemon().TracePath(""));
    const std::vector<Field> fields = {
        {"levelSpin", "LogLevel", "3", "2"},
        {"logToScreenCheck", "LogToScreen", "Y", "N"},
        {"logToFileCheck", "SystemDebugEnable", "Y", "N"},
        {"systemTraceEdit", "SystemTrace", trace + "system.log", "elsewhere.log"},
        {"localCheck", "LocalTraceEnable", "Y", "Y"},
        {"localTraceEdit", "LocalPrintTrace", trace + "local.log", trace + "local.log"},
        {"remoteCheck", "RemoteTraceEnable", "Y", "N"},
    };
    const std::string before = IniText();
    ShowAndEnter(logging_, fields, false);
    Press(logging_, "cancelButton");
    EXPECT_EQ(IniText(), before);
    EXPECT_TRUE(LogFile::ScreenEnabled());
    EXPECT_TRUE(remotePrintLog.Enabled());

    ASSERT_EQ(answerer.Count(), 0);
    EnterAndSave(logging_, "Logging", fields);
    EXPECT_EQ(answerer.Texts(),
              QStringList({"Please restart the Pressgate in order to make the change effective."}));
    EXPECT_EQ(answerer.All()[0].title, "Pressgate");
    systemLog.Log(1, "line after OK\n");
    const std::string written = ReadFile(Daemon().TracePath("system.log"));
    EXPECT_NE(written.find("line before OK"), std::string::npos);
    EXPECT_EQ(written.find("line after OK"), std::string::npos);
    EXPECT_TRUE(localPrintLog.Enabled());
    EXPECT_FALSE(remotePrintLog.Enabled());
    EXPECT_EQ(systemLog.Level(), 3);

    // Switched back on, lines reach the message window again; the one logged meanwhile never.
    EnterAndSave(logging_, "Logging", {{"logToScreenCheck", "LogToScreen", "N", "Y"}});
    systemLog.Log(1, "line after the second OK\n");
    EXPECT_TRUE(WaitFor([&] { return reached("line after the second OK"); }));
    EXPECT_FALSE(reached("line after OK"));
    systemLog.SetEnabled(true);
    remotePrintLog.SetEnabled(true);
}

TEST_F(DialogsTest, BrowseButtonsStartWhereTheyShouldAndFillTheirFields) {
    StartDialogs();
    const QString root = QString::fromStdString(Daemon().Root());
    const struct {
        QWidget* dialog;
        const char* button;
        const char* field;
        const char* title;  // null: the directory chooser's own
        QString start;
        QString chosen;
    } cases[] = {
        {general_, "hostFileBrowse", "hostFileEdit", "Select/Enter The IP Address Host File",
         "/etc", root + "/hosts.chosen"},
        // The directory chooser starts at the working directory, not at the field's text.
        {general_, "spoolAreaBrowse", "spoolAreaEdit", nullptr, QDir::currentPath(),
         root + "/printers"},
        {logging_, "localBrowse", "localTraceEdit", "Select/Enter Local Trace Filename",
         root + "/trace", root + "/local.chosen"},
        {logging_, "remoteBrowse", "remoteTraceEdit", "Select/Enter Remote Trace Filename",
         root + "/trace", root + "/remote.chosen"},
        {logging_, "systemBrowse", "systemTraceEdit", "Select/Enter System Trace Filename",
         root + "/trace", root + "/system.chosen"},
    };
    general_->show();
    logging_->show();
    ModalAnswerer answerer;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        QString start;
        answerer.OnFileDialog([&](QFileDialog& dialog) {
            start = dialog.directory().absolutePath();
            if (dialog.fileMode() == QFileDialog::Directory) {
                dialog.setDirectory(c.chosen);
            } else {
                dialog.selectFile(c.chosen);
            }
            static_cast<QDialog&>(dialog).accept();
        });
        Press(c.dialog, c.button);
        ASSERT_EQ(answerer.All().back().className, "QFileDialog");
        if (c.title != nullptr) {
            EXPECT_EQ(answerer.All().back().title, c.title);
        }
        EXPECT_EQ(start, c.start);
        EXPECT_EQ(Shown(Find(c.dialog, c.field)), c.chosen);
    }
    Press(general_, "spoolAreaBrowse");  // cancelled: the field stays
    EXPECT_EQ(Shown(Find(general_, "spoolAreaEdit")), root + "/printers");
}

// --- queue viewer ------------------------------------------------------------------------------

TEST(JobTexts, SizeSwitchesFromKToMAt1024000BytesAndJobRefHasThreeDigits) {
    const std::pair<uint32_t, const char*> sizes[] = {
        {0, "0.0K"},       {1536, "1.5K"},    {1023999, "1000.0K"}, {1024000, "1.0M"},
        {1024001, "1.0M"}, {1048576, "1.0M"}, {10240000, "10.0M"},  {4294967295u, "4194.3M"},
    };
    for (const auto& [bytes, text] : sizes) {
        EXPECT_EQ(JobSizeText(bytes), text) << bytes;
    }
    EXPECT_EQ(TViewPrintQ::JobRefText(7), "#007");
    EXPECT_EQ(TViewPrintQ::JobRefText(1234), "#1234");
    EXPECT_EQ(TViewPrintQ::JobRefNumber("#1234"), 1234);
}

// The rows of the selected queue only; the job buttons find a job by the number, user and
// host of its row (an empty host matches any) and do nothing without a selected row.
TEST_F(DialogsTest, ViewerListsTheQueuesJobsAndItsButtonsActOnTheSelectedOne) {
    StartDialogs(TestConfig().AddLocalQueue("lp").AddLocalQueue("other"), /*activate=*/false);
    auto job5 = AddSizedJob(*Queue("lp"), 5, "ann", "pc1", 1536);
    AddSizedJob(*Queue("lp"), 6, "bob", "pc2", 300);
    auto job7 = AddSizedJob(*Queue("lp"), 7, "carl", "", 300);  // no host: column empty
    AddSizedJob(*Queue("other"), 99, "eve", "pc9", 300);
    Select("lp");
    viewer_->show();
    const std::pair<const char*, int> columns[] = {
        {"Job Name", 70}, {"Status", 50},    {"Size", 50},     {"User", 60},
        {"Host", 100},    {"Time/Date", 65}, {"Comment", 100}, {"Job Ref. No.", 90}};
    ASSERT_EQ(Jobs()->columnCount(), 8);
    for (int column = 0; column < 8; ++column) {
        EXPECT_EQ(Jobs()->headerItem()->text(column), columns[column].first);
        EXPECT_EQ(Jobs()->columnWidth(column), columns[column].second);
    }
    EXPECT_EQ(Jobs()->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(Jobs()->editTriggers(), QAbstractItemView::NoEditTriggers);
    ASSERT_EQ(Jobs()->topLevelItemCount(), 3);
    EXPECT_EQ(JobRow(0), QStringList({"report.txt", "waiting", "1.5K", "ann", "pc1",
                                      "12:00:00 12/05/26", "", "#005"}));

    Press(viewer_, "pauseJobButton");
    Press(viewer_, "deleteJobButton");
    EXPECT_EQ(Jobs()->topLevelItemCount(), 3);
    EXPECT_EQ(job5->State(), JobState::Waiting);
    JobButton("#005", "pauseJobButton");
    EXPECT_EQ(job5->State(), JobState::Pause);
    EXPECT_EQ(JobRow(0)[1], "pause");
    JobButton("#005", "resumeJobButton");
    EXPECT_EQ(job5->State(), JobState::Waiting);
    JobButton("#007", "pauseJobButton");
    EXPECT_EQ(job7->State(), JobState::Pause);

    auto job6 = Queue("lp")->FindJob(6, "bob", "pc2");
    ASSERT_EQ(JobFileCount(*Queue("lp"), *job6), 3u);
    JobButton("#006", "deleteJobButton");
    EXPECT_FALSE(Queue("lp")->FindJob(6, "bob", "pc2"));
    EXPECT_EQ(Jobs()->topLevelItemCount(), 2);
    EXPECT_EQ(JobFileCount(*Queue("lp"), *job6), 0u);
}

// A job sent by a real LPR client while the viewer is open shows on "Refresh List" only. The
// printer does not exist, so the job stays in the queue waiting for a retry.
TEST_F(DialogsTest, ViewerRefreshShowsAJobSentMeanwhile) {
    StartDialogs(TestConfig()
                     .Set("GENERAL CONFIGURE", "TestPrintManager", "N")
                     .AddQueue("lp", "no-such-printer,,,test queue"));
    auto queue = Queue("lp");
    Select("lp");
    viewer_->show();
    EXPECT_EQ(Jobs()->topLevelItemCount(), 0);

    ASSERT_TRUE(SendJob(Daemon().Port(), "lp", 123, "dora", "client", "letter.txt",
                        std::string(2500, 'x')));  // 2566 bytes with the control file
    ASSERT_TRUE(WaitUntil([&] { return queue->JobCount() == 1; }));
    EXPECT_EQ(Jobs()->topLevelItemCount(), 0);  // no refresh by itself

    Press(viewer_, "refreshButton");
    ASSERT_EQ(Jobs()->topLevelItemCount(), 1);
    const QStringList row = JobRow(0);
    EXPECT_EQ(QStringList({row[0], row[2], row[3], row[4], row[7]}),
              QStringList({"letter.txt", "2.5K", "dora", "client", "#123"}));

    // The queue goes away: the list empties.
    ASSERT_TRUE(queue->Pause());
    ASSERT_TRUE(Spooler().RemovePrinter("lp"));
    Press(viewer_, "refreshButton");
    EXPECT_EQ(Jobs()->topLevelItemCount(), 0);
}

// --- properties --------------------------------------------------------------------------------

TEST_F(DialogsTest, LocalPropertiesApplyKeepsTheDialogAndRewritesTheEntry) {
    StartDialogs(TestConfig().AddLocalQueue("lp").AddLocalQueue("P"), /*activate=*/false);
    Select("lp");
    localProperties_->show();
    EXPECT_EQ(ShownAll(localProperties_, {"queueNameEdit", "printerBox", "formFeedCheck"}),
              QStringList({"lp", "lp", "Y"}));
    EXPECT_FALSE(Find(localProperties_, "queueNameEdit")->isEnabled());
    auto* printers = Find<QComboBox>(localProperties_, "printerBox");
    EXPECT_EQ(printers->count(), 2);
    EXPECT_EQ(printers->maxVisibleItems(), 20);

    printers->setCurrentIndex(printers->findText("P"));
    Enter(Find(localProperties_, "formFeedCheck"), "N");
    Press(localProperties_, "applyButton");
    EXPECT_TRUE(localProperties_->isVisible());
    EXPECT_EQ(QueueEntry("lp"), "P,,,Print in local/LAN printer - P");
    EXPECT_EQ(Key("lp", "FormFeedAtEndOfJob"), "no");
    EXPECT_EQ(Queue("lp")->Target().destination, "P");
    EXPECT_FALSE(Queue("lp")->Target().formFeedAtEndOfJob);

    // A typed name that is no printer is taken as it is.
    printers->setEditText("typed-printer");
    Press(localProperties_, "okButton");
    EXPECT_FALSE(localProperties_->isVisible());
    EXPECT_EQ(QueueEntry("lp"), "typed-printer,,,Print in local/LAN printer - typed-printer");

    // The queue removed while the dialog is open: Apply and OK change nothing.
    localProperties_->show();
    ASSERT_TRUE(Spooler().RemovePrinter("lp"));
    const std::string before = IniText();
    printers->setEditText("P");
    Press(localProperties_, "applyButton");
    Press(localProperties_, "okButton");
    EXPECT_FALSE(localProperties_->isVisible());
    EXPECT_EQ(IniText(), before);
}

TEST_F(DialogsTest, RemotePropertiesApplyWritesHostAndPort) {
    StartDialogs(TestConfig().AddQueue("r1", "RQ,10.0.0.1,515,forwards"), /*activate=*/false);
    Select("r1");
    remoteProperties_->show();
    EXPECT_EQ(ShownAll(remoteProperties_,
                       {"queueNameEdit", "remoteQueueEdit", "remoteHostEdit", "remotePortSpin"}),
              QStringList({"r1", "RQ", "10.0.0.1", "515"}));
    EXPECT_FALSE(Find(remoteProperties_, "queueNameEdit")->isEnabled());
    ExpectArrowRange(Find<QSpinBox>(remoteProperties_, "remotePortSpin"), 0, 32700);
    Enter(Find(remoteProperties_, "remoteHostEdit"), "10.0.0.2");
    Enter(Find(remoteProperties_, "remotePortSpin"), "6515");
    Press(remoteProperties_, "applyButton");
    EXPECT_TRUE(remoteProperties_->isVisible());
    EXPECT_EQ(QueueEntry("r1"), "RQ,10.0.0.2,6515,Print in remote LPD printer - RQ@10.0.0.2");
    EXPECT_EQ(Queue("r1")->Target().remoteHost, "10.0.0.2");
    // Cancel after Apply: what was applied stays.
    Press(remoteProperties_, "cancelButton");
    EXPECT_FALSE(remoteProperties_->isVisible());
    EXPECT_EQ(Queue("r1")->Target().remotePort, 6515);
}

}  // namespace
}  // namespace pg::test
