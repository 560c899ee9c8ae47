#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>

class QShowEvent;
class QTreeWidget;

namespace pg {

class JobEntry;
class PrintQueue;
class LPDSpooler;
class TPressgate;

// "View Printer Queue": the jobs of the queue selected in the main window, with Delete, Pause and
// Resume. Modal.
class TViewPrintQ : public QDialog {
    Q_OBJECT

  public:
    TViewPrintQ(LPDSpooler& spooler, TPressgate* mainWindow, QWidget* parent = nullptr);

    // The "Job Ref. No." column: "#%03d" (7 gives #007, 1234 gives #1234).
    static QString JobRefText(int32_t jobNo);
    // The job number of a "Job Ref. No." text: the digits after its first character.
    static int32_t JobRefNumber(const QString& text);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    enum class JobAction { Delete, Pause, Resume };

    // Fills the list from the queue named exactly as the main window's selected row.
    void FillList();
    void JobButtonClick(JobAction action);
    // The queue the list was last filled from, while the spooler still has it.
    std::shared_ptr<PrintQueue> CurrentQueue() const;

    LPDSpooler& spooler_;
    TPressgate* mainWindow_;
    std::weak_ptr<PrintQueue> currentQueue_;
    QTreeWidget* jobList_;
};

}  // namespace pg
