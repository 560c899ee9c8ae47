#include "tests/ui/MainWindowFixture.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QStandardItemModel>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace pg::test {

void MainWindowFixture::Start(const TestConfig& config, bool activate) {
    daemon_ = std::make_unique<TestDaemon>(config, activate);
    boxes_ = std::make_unique<OperatorMessageBoxes>();
    window_ = std::make_unique<TPressgate>(daemon_->Spooler());
    boxes_->SetOwner(window_.get());
    window_->findChild<QTimer*>("Timer1")->stop();
}

void MainWindowFixture::TearDown() {
    window_.reset();
    boxes_.reset();
    daemon_.reset();
}

int MainWindowFixture::Rows() const {
    return window_->QueueModel()->rowCount();
}

QString MainWindowFixture::Cell(int row, int column) const {
    return window_->QueueModel()->index(row, column).data().toString();
}

int MainWindowFixture::Image(int row) const {
    return window_->QueueModel()->index(row, 0).data(TPressgate::kImageIndexRole).toInt();
}

QStringList MainWindowFixture::Captions() const {
    QStringList captions;
    for (int row = 0; row < Rows(); ++row) {
        captions << Cell(row, TPressgate::kNameColumn);
    }
    return captions;
}

void MainWindowFixture::Select(const QString& caption) {
    const int row = static_cast<int>(Captions().indexOf(caption));
    ASSERT_GE(row, 0) << caption.toStdString();
    window_->QueueSelection()->setCurrentIndex(
        window_->QueueModel()->index(row, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void MainWindowFixture::ClearSelection() {
    window_->QueueSelection()->clear();
}

static QMenu* FindMenu(const TPressgate& window, const QString& title) {
    for (QAction* action : window.menuBar()->actions()) {
        if (action->menu() && action->text().remove('&') == title) {
            return action->menu();
        }
    }
    return nullptr;
}

QAction* MainWindowFixture::MenuItem(const QString& menu, const QString& item) const {
    if (QMenu* found = FindMenu(*window_, menu)) {
        for (QAction* action : found->actions()) {
            if (action->text() == item) {
                return action;
            }
        }
    }
    return nullptr;
}

QStringList MainWindowFixture::MenuItems(const QString& menu) const {
    QStringList items;
    if (QMenu* found = FindMenu(*window_, menu)) {
        for (QAction* action : found->actions()) {
            items << (action->isSeparator() ? QString("-") : action->text());
        }
    }
    return items;
}

QToolButton* MainWindowFixture::ToolButton(const QString& toolTip) const {
    auto* toolBar = window_->findChild<QToolBar*>("ToolBar1");
    for (QAction* action : toolBar->actions()) {
        if (!action->isSeparator() && action->toolTip() == toolTip) {
            return qobject_cast<QToolButton*>(toolBar->widgetForAction(action));
        }
    }
    return nullptr;
}

}  // namespace pg::test
