#pragma once

#include <QFileDialog>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tests/ui/MainWindowFixture.h"

class QAbstractButton;
class QWidget;

namespace pg {
class JobEntry;
class LPDPrinter;
class OperatorMessageBoxes;
class TGeneralSettings;
class TLPrnProp;
class TLoggingOptions;
class TPrnWiz1;
class TPrnWiz2;
class TRPrnProp;
class TViewPrintQ;
}  // namespace pg

namespace pg::test {

// The main window with every dialog as the program builds them, over an in-process daemon,
// with the engine's operator messages shown as message boxes.
class DialogsFixture : public MainWindowFixture {
  protected:
    void StartDialogs(const TestConfig& config = TestConfig(), bool activate = true);
    void TearDown() override;

    // [Print Queues] value of a queue, "<none>" when the key is missing.
    std::string QueueEntry(const std::string& name) const;
    std::string IniText() const;
    // A printer of the devices print system (a directory that receives documents).
    void AddPrinter(const std::string& name);
    // The row of the queue list with that caption, -1 when there is none.
    int RowOf(const QString& caption) const;

    TPrnWiz1* wizard1_ = nullptr;
    TPrnWiz2* wizard2_ = nullptr;
    TGeneralSettings* general_ = nullptr;
    TLoggingOptions* logging_ = nullptr;
    TViewPrintQ* viewer_ = nullptr;
    TLPrnProp* localProperties_ = nullptr;
    TRPrnProp* remoteProperties_ = nullptr;

  private:
    std::unique_ptr<OperatorMessageBoxes> messages_;
};

// Answers the file dialogs that come up while it lives: the next one goes to the handler set
// (which accepts or rejects it), any other is cancelled.
class FileDialogAnswerer {
  public:
    FileDialogAnswerer();
    FileDialogAnswerer(const FileDialogAnswerer&) = delete;
    FileDialogAnswerer& operator=(const FileDialogAnswerer&) = delete;

    void OnNext(std::function<void(QFileDialog&)> handler) { handler_ = std::move(handler); }
    int Seen() const { return seen_; }

  private:
    void Poll();

    QTimer timer_;
    std::function<void(QFileDialog&)> handler_;
    int seen_ = 0;
};

// The child of parent with that object name; null when there is none.
template <typename T>
T* Child(QWidget* parent, const char* name) {
    return parent->findChild<T*>(name);
}

// A press of the left mouse button on a button, radio button or check box.
void Click(QAbstractButton* button);

// A job as reception enters it (its control file asks for its files to be removed with it),
// with a control file and a data file in the queue's spool directory whose sizes add up to
// totalBytes (the control file takes min(totalBytes, its text) bytes, the data file the rest,
// written sparse). The job is added to the queue in state waiting.
std::shared_ptr<JobEntry> AddSizedJob(LPDPrinter& queue, int jobNo, const std::string& user,
                                      const std::string& host, uint64_t totalBytes,
                                      const std::string& jobName = "report.txt");

}  // namespace pg::test
