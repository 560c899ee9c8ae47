#include "ui/HelpWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace pg {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("HelpWindow");
    setWindowTitle("Pressgate Help");
    resize(640, 480);

    browser_ = new QTextBrowser(this);
    browser_->setOpenLinks(true);
    browser_->setOpenExternalLinks(true);

    auto* contents = new QPushButton("&Contents", this);
    auto* back = new QPushButton("&Back", this);
    auto* close = new QPushButton("Close", this);
    connect(contents, &QPushButton::clicked, this, [this] {
        browser_->setSource(browser_->source().adjusted(QUrl::RemoveFragment).toString() + "#1");
    });
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    back->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_, 1);
    layout->addLayout(buttons);
}

bool HelpWindow::ShowTopic(const QString& helpFile, int context) {
    if (!QFileInfo(helpFile).isReadable()) {
        return false;
    }
    QUrl url = QUrl::fromLocalFile(helpFile);
    url.setFragment(QString::number(context));
    browser_->setSource(url, QTextDocument::HtmlResource);
    topic_ = context;
    return true;
}

}  // namespace pg
