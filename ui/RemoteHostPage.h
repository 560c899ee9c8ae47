#pragma once

#include <QWizardPage>

class QLineEdit;

namespace pg {

class UpDownSpinBox;

// The add-queue wizard's second page ("Add Printer: Remote Host Settings"): the queue, host
// and port of the LPD host a remote queue forwards to. A host without a dot, or one that does
// not resolve, is refused with the reason.
class RemoteHostPage : public QWizardPage {
    Q_OBJECT

  public:
    // The wizard's fields this page fills.
    static constexpr const char* kRemoteQueueField = "remoteQueue";
    static constexpr const char* kRemoteHostField = "remoteHost";
    static constexpr const char* kRemotePortField = "remotePort";

    explicit RemoteHostPage(QWidget* parent = nullptr);

    bool validatePage() override;

  private:
    QLineEdit* remoteQueueEdit_;
    QLineEdit* remoteHostEdit_;
    UpDownSpinBox* remotePortSpin_;
};

}  // namespace pg
