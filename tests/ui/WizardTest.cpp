// The add-queue wizard driven as an operator drives it: through the main window's "Add Printer"
// row, typing and clicking, with the entries checked in pgate.ini.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include "engine/LPDPrinter.h"
#include "engine/LPDSpooler.h"
#include "tests/ui/DialogTestSupport.h"
#include "tests/ui/ModalAnswerer.h"
#include "ui/TPressgate.h"
#include "ui/TPrnWiz1.h"
#include "ui/TPrnWiz2.h"

namespace pg::test {
namespace {

class WizardTest : public DialogsFixture {
  protected:
    // Double-click's action on the "Add Printer" row: page 1 comes up, not modally.
    void OpenWizard() {
        Select(TPressgate::kAddPrinterCaption);
        Window().OpenSelected();
        ASSERT_TRUE(wizard1_->isVisible());
        EXPECT_FALSE(wizard1_->isModal());
    }

    QLineEdit* NameField() { return Child<QLineEdit>(wizard1_, "queueNameEdit"); }
    QPushButton* Forward() { return Child<QPushButton>(wizard1_, "nextButton"); }
    QComboBox* PrinterBox() { return Child<QComboBox>(wizard1_, "printerBox"); }

    // Page 1 with the remote choice and a name, then forward to page 2.
    void GoToPage2(const QString& name) {
        Click(Child<QRadioButton>(wizard1_, "remoteRadio"));
        QTest::keyClicks(NameField(), name);
        Click(Forward());
        ASSERT_FALSE(wizard1_->isVisible());
        ASSERT_TRUE(wizard2_->isVisible());
    }

    void FinishRemote(const QString& remoteQueue, const QString& host) {
        QTest::keyClicks(Child<QLineEdit>(wizard2_, "remoteQueueEdit"), remoteQueue);
        QTest::keyClicks(Child<QLineEdit>(wizard2_, "remoteHostEdit"), host);
        Click(Child<QPushButton>(wizard2_, "finishButton"));
        EXPECT_FALSE(wizard2_->isVisible());
    }
};

TEST_F(WizardTest, LocalQueueOnTheDefaultPrinterIsWrittenStartedAndListed) {
    StartDialogs(TestConfig().AddLocalQueue("lp"));
    AddPrinter("P");
    WriteFile(Daemon().PrinterPath(".default"), "P\n");
    OpenWizard();

    EXPECT_EQ(wizard1_->windowTitle(), "Add Printer: Create LPD Queue");
    EXPECT_EQ(wizard1_->size(), QSize(530, 325));
    QComboBox* printers = PrinterBox();
    ASSERT_EQ(printers->count(), 2);
    EXPECT_EQ(printers->itemText(0), "P");
    EXPECT_EQ(printers->itemText(1), "lp");
    EXPECT_EQ(printers->currentText(), "P");
    EXPECT_TRUE(printers->isEnabled());
    auto* remoteBox = Child<QComboBox>(wizard1_, "remoteBox");
    EXPECT_FALSE(remoteBox->isEnabled());
    EXPECT_EQ(remoteBox->currentText(), "Remote LPD");
    EXPECT_FALSE(Child<QPushButton>(wizard1_, "backButton")->isEnabled());
    EXPECT_EQ(Forward()->text(), "&Finish");
    EXPECT_TRUE(Forward()->font().bold());

    QTest::keyClicks(NameField(), "Q1");
    Click(Forward());

    EXPECT_FALSE(wizard1_->isVisible());
    EXPECT_EQ(QueueEntry("Q1"), "P,,,LPD Printer");
    // AddPrinter leaves the form-feed key to the first update.
    EXPECT_EQ(ProfileFile(Daemon().IniPath()).GetString("Q1", "FormFeedAtEndOfJob", "none"),
              "none");
    const auto queue = Spooler().FindPrinter(std::string("Q1"));
    ASSERT_TRUE(queue);
    EXPECT_FALSE(queue->IsRemote());
    EXPECT_EQ(queue->Destination(), "P");
    EXPECT_EQ(queue->State(), QueueState::Running);
    EXPECT_EQ(Captions().back(), "Q1");
    EXPECT_EQ(Image(RowOf("Q1")), 1);
    EXPECT_EQ(Cell(RowOf("Q1"), TPressgate::kStatusColumn), "running");
}

TEST_F(WizardTest, WithTheDaemonPausedTheNewQueueIsAddedButNotStarted) {
    StartDialogs(TestConfig().AddLocalQueue("lp"), /*activate=*/false);
    OpenWizard();
    QTest::keyClicks(NameField(), "Q2");
    Click(Forward());

    const auto queue = Spooler().FindPrinter(std::string("Q2"));
    ASSERT_TRUE(queue);
    EXPECT_EQ(queue->State(), QueueState::Initial);
    EXPECT_FALSE(queue->HasPrintingThread());
    EXPECT_EQ(QueueEntry("Q2"), "lp,,,LPD Printer");
    EXPECT_EQ(queue->StatusText(), "LPD Printer");  // activation would replace it
    EXPECT_EQ(Cell(RowOf("Q2"), TPressgate::kStatusColumn), "Initial");
}

TEST_F(WizardTest, RemoteQueueIsDefinedOnPage2) {
    StartDialogs(TestConfig().AddLocalQueue("lp"));
    OpenWizard();
    Click(Child<QRadioButton>(wizard1_, "remoteRadio"));
    EXPECT_EQ(Forward()->text(), "&Next >");
    EXPECT_FALSE(Forward()->font().bold());
    EXPECT_FALSE(PrinterBox()->isEnabled());
    EXPECT_TRUE(Child<QComboBox>(wizard1_, "remoteBox")->isEnabled());
    Click(Child<QRadioButton>(wizard1_, "localRadio"));
    EXPECT_EQ(Forward()->text(), "&Finish");
    EXPECT_TRUE(Forward()->font().bold());

    GoToPage2("R1");
    EXPECT_EQ(wizard2_->windowTitle(), "Add Printer: Remote Host Settings");
    EXPECT_EQ(wizard2_->size(), QSize(530, 325));
    EXPECT_TRUE(Child<QPushButton>(wizard2_, "finishButton")->isDefault());
    EXPECT_EQ(Child<QSpinBox>(wizard2_, "remotePortSpin")->value(), 515);
    FinishRemote("RQ", "10.0.0.1");

    EXPECT_EQ(QueueEntry("R1"), "RQ,10.0.0.1,515,");
    const auto queue = Spooler().FindPrinter(std::string("R1"));
    ASSERT_TRUE(queue);
    const QueueTarget target = queue->Target();
    EXPECT_TRUE(target.isRemote);
    EXPECT_EQ(target.destination, "RQ");
    EXPECT_EQ(target.remoteHost, "10.0.0.1");
    EXPECT_EQ(target.remotePort, 515);
    EXPECT_EQ(queue->State(), QueueState::Running);
    EXPECT_EQ(Image(RowOf("R1")), 2);
}

TEST_F(WizardTest, RemoteQueueWithoutHostIsWrittenInTheLocalForm) {
    StartDialogs(TestConfig().AddLocalQueue("lp"), /*activate=*/false);
    OpenWizard();
    GoToPage2("R2");
    FinishRemote("RQ", "");
    EXPECT_EQ(QueueEntry("R2"), "RQ,,,");
    const auto queue = Spooler().FindPrinter(std::string("R2"));
    ASSERT_TRUE(queue);
    EXPECT_TRUE(queue->IsRemote());
    EXPECT_EQ(queue->StatusText(), "");
}

TEST_F(WizardTest, CaseVariantOfANameIsAcceptedTheSameNameIsRefused) {
    StartDialogs(TestConfig().AddLocalQueue("lp"));
    ModalAnswerer answerer;

    OpenWizard();
    QTest::keyClicks(NameField(), "LP");
    Click(Forward());
    EXPECT_EQ(answerer.Count(), 0);
    ASSERT_TRUE(Spooler().FindPrinter(std::string("LP")));
    EXPECT_EQ(Spooler().Printers().size(), 2u);
    EXPECT_EQ(Captions(), QStringList({"Add Printer", "lp", "LP"}));

    const std::string before = IniText();
    OpenWizard();
    QTest::keyClicks(NameField(), "lp");
    Click(Forward());
    ASSERT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.All()[0].title, "Error");
    EXPECT_EQ(answerer.All()[0].text, "Printer already exist!");
    EXPECT_FALSE(wizard1_->isVisible());
    EXPECT_EQ(Spooler().Printers().size(), 2u);
    EXPECT_EQ(Captions().size(), 3);
    EXPECT_EQ(IniText(), before);
}

TEST_F(WizardTest, EmptyNameIsRefusedAndThePageStays) {
    StartDialogs(TestConfig().AddLocalQueue("lp"));
    ModalAnswerer answerer;
    OpenWizard();
    const std::string before = IniText();

    Click(Forward());
    ASSERT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.All()[0].title, "Pressgate");
    EXPECT_EQ(answerer.All()[0].text, "Must enter a Printer Queue name");
    EXPECT_TRUE(wizard1_->isVisible());
    EXPECT_EQ(Spooler().Printers().size(), 1u);
    EXPECT_EQ(IniText(), before);

    // The remote way is refused the same way, before page 2.
    Click(Child<QRadioButton>(wizard1_, "remoteRadio"));
    Click(Forward());
    ASSERT_EQ(answerer.Count(), 2);
    EXPECT_TRUE(wizard1_->isVisible());
    EXPECT_FALSE(wizard2_->isVisible());
}

TEST_F(WizardTest, WithoutPrintersTheWizardSwitchesToRemote) {
    StartDialogs();  // an empty printers folder
    ModalAnswerer answerer;
    OpenWizard();
    ASSERT_TRUE(WaitFor([&] { return answerer.Count() >= 1; }));
    EXPECT_EQ(answerer.All()[0].text, "There are no printers defined on this machine.");
    EXPECT_TRUE(Child<QRadioButton>(wizard1_, "remoteRadio")->isChecked());
    EXPECT_EQ(PrinterBox()->count(), 0);
    EXPECT_EQ(Forward()->text(), "&Next >");

    Click(Child<QRadioButton>(wizard1_, "localRadio"));
    ASSERT_EQ(answerer.Count(), 2);
    EXPECT_EQ(answerer.All()[1].text, "There are no printers defined on this machine.");
    EXPECT_TRUE(Child<QRadioButton>(wizard1_, "remoteRadio")->isChecked());
    EXPECT_FALSE(PrinterBox()->isEnabled());
}

TEST_F(WizardTest, BackFromPage2LosesTheNameAndReloadsThePrinters) {
    StartDialogs(TestConfig().AddLocalQueue("lp"));
    OpenWizard();
    GoToPage2("R3");
    AddPrinter("added-meanwhile");

    Click(Child<QPushButton>(wizard2_, "backButton"));
    EXPECT_FALSE(wizard2_->isVisible());
    ASSERT_TRUE(wizard1_->isVisible());
    EXPECT_EQ(NameField()->text(), "");
    EXPECT_EQ(wizard1_->QueueName(), "");
    EXPECT_GE(PrinterBox()->findText("added-meanwhile"), 0);
    EXPECT_EQ(Spooler().Printers().size(), 1u);
}

TEST_F(WizardTest, PortKeepsItsLastValueWithinItsRange) {
    StartDialogs(TestConfig().AddLocalQueue("lp"));
    OpenWizard();
    GoToPage2("R4");
    auto* port = Child<QSpinBox>(wizard2_, "remotePortSpin");
    port->selectAll();
    QTest::keyClicks(port, "32699");
    QTest::keyClick(port, Qt::Key_Up);
    EXPECT_EQ(port->value(), 32700);
    QTest::keyClick(port, Qt::Key_Up);
    EXPECT_EQ(port->value(), 32700);
    port->selectAll();
    QTest::keyClicks(port, "32701");  // the last digit does not fit
    EXPECT_LE(port->value(), 32700);
    port->selectAll();
    QTest::keyClicks(port, "1");
    QTest::keyClick(port, Qt::Key_Down);
    QTest::keyClick(port, Qt::Key_Down);
    EXPECT_EQ(port->value(), 0);
    port->selectAll();
    QTest::keyClicks(port, "6000");
    FinishRemote("RQ", "10.0.0.1");
    EXPECT_EQ(QueueEntry("R4"), "RQ,10.0.0.1,6000,");

    OpenWizard();
    GoToPage2("R5");
    EXPECT_EQ(port->value(), 6000);
    EXPECT_EQ(Child<QLineEdit>(wizard2_, "remoteQueueEdit")->text(), "");
    EXPECT_EQ(Child<QLineEdit>(wizard2_, "remoteHostEdit")->text(), "");
    Click(Child<QPushButton>(wizard2_, "cancelButton"));
    EXPECT_FALSE(wizard2_->isVisible());
    EXPECT_EQ(QueueEntry("R5"), "<none>");
}

}  // namespace
}  // namespace pg::test
