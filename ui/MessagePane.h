#pragma once

#include <QString>
#include <QWidget>
#include <memory>

class QComboBox;
class QLineEdit;
class QListView;

namespace pg {

class MessageFilterModel;
class MessageLogModel;
class MessageWindowSink;

// The message window: the system log's lines as they are written, errors red and warnings
// amber, with a filter (text and minimum severity) above them. Its context menu copies the
// selected lines, saves the shown lines to a file and clears the window.
class MessagePane : public QWidget {
    Q_OBJECT

  public:
    explicit MessagePane(QWidget* parent = nullptr);
    // Stops taking the system log's lines.
    ~MessagePane() override;

    // From now on every line the system log passes to the screen shows here; until the pane
    // goes.
    void AttachToSystemLog();

    // Appends a line as it is and scrolls to it.
    void AddLine(const QString& line);
    void Clear();
    // The selected lines that are shown, in order, one per line.
    QString SelectedText() const;
    void CopySelection() const;
    // Writes the shown lines to path; false when it cannot be written.
    bool SaveShownLines(const QString& path) const;

    MessageLogModel* Lines() const { return lines_; }
    MessageFilterModel* Shown() const { return shown_; }
    QListView* View() const { return view_; }
    QLineEdit* FilterEdit() const { return filterEdit_; }
    QComboBox* SeverityBox() const { return severityBox_; }

  private:
    Q_INVOKABLE void DrainMessages();
    void SaveAs();

    std::shared_ptr<MessageWindowSink> sink_;
    MessageLogModel* lines_;
    MessageFilterModel* shown_;
    QLineEdit* filterEdit_;
    QComboBox* severityBox_;
    QListView* view_;
};

}  // namespace pg
