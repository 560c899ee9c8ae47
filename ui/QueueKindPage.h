#pragma once

#include <QWizardPage>

class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace pg {

class LPDSpooler;

// The add-queue wizard's first page ("Add Printer: Create LPD Queue"): a local printer or a
// remote LPD, and the queue name. A local queue is finished here; a remote one goes on to the
// remote host page. With no printer on this computer only "Remote Printer" can be chosen.
class QueueKindPage : public QWizardPage {
    Q_OBJECT

  public:
    // The wizard's fields this page fills.
    static constexpr const char* kNameField = "queueName";
    static constexpr const char* kRemoteField = "remote";
    static constexpr const char* kPrinterField = "printer";

    explicit QueueKindPage(LPDSpooler& spooler, QWidget* parent = nullptr);

    void initializePage() override;
    bool validatePage() override;
    int nextId() const override;

  private:
    void ApplyRadioRule();

    LPDSpooler& spooler_;
    QRadioButton* localRadio_;
    QRadioButton* remoteRadio_;
    QComboBox* printerBox_;
    QComboBox* remoteBox_;
    QLabel* noPrinters_;
    QLineEdit* queueNameEdit_;
};

}  // namespace pg
