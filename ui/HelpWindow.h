#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace pg {

// The help viewer: the help file (one HTML document with an anchor named after each help
// context) in a browser window, opened at a topic.
class HelpWindow : public QWidget {
    Q_OBJECT

  public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // False when the help file cannot be read.
    bool ShowTopic(const QString& helpFile, int context);
    // The context of the topic shown last, 0 before any.
    int Topic() const { return topic_; }
    QTextBrowser* Browser() const { return browser_; }

  private:
    QTextBrowser* browser_;
    int topic_ = 0;
};

}  // namespace pg
