#include "ui/MessagePane.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <string>
#include <vector>

#include "engine/LPDSpooler.h"
#include "ui/MessageFilterModel.h"
#include "ui/MessageLogModel.h"
#include "ui/MessageWindowSink.h"

namespace pg {

MessagePane::MessagePane(QWidget* parent)
    : QWidget(parent),
      lines_(new MessageLogModel(this)),
      shown_(new MessageFilterModel(this)),
      filterEdit_(new QLineEdit(this)),
      severityBox_(new QComboBox(this)),
      view_(new QListView(this)) {
    shown_->setSourceModel(lines_);

    filterEdit_->setObjectName("messageFilter");
    filterEdit_->setPlaceholderText("Filter messages");
    filterEdit_->setClearButtonEnabled(true);
    severityBox_->setObjectName("messageSeverity");
    severityBox_->addItems({"All messages", "Warnings and errors", "Errors only"});
    auto* filterLabel = new QLabel("&Show:", this);
    filterLabel->setBuddy(filterEdit_);

    view_->setObjectName("ListBox1");
    view_->setModel(shown_);
    view_->setUniformItemSizes(true);
    view_->setToolTip("System Message Window");
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setContextMenuPolicy(Qt::ActionsContextMenu);

    const auto addAction = [this](const char* name, const QString& text,
                                  const QKeySequence& shortcut, auto slot) {
        auto* action = new QAction(text, view_);
        action->setObjectName(name);
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, slot);
        view_->addAction(action);
        return action;
    };
    addAction("actCopyMessages", "&Copy", QKeySequence::Copy, [this] { CopySelection(); });
    addAction("actSelectAllMessages", "Select &All", QKeySequence::SelectAll,
              [this] { view_->selectAll(); });
    auto* separator = new QAction(view_);
    separator->setSeparator(true);
    view_->addAction(separator);
    addAction("actSaveMessages", "&Save As...", QKeySequence(), [this] { SaveAs(); });
    addAction("actClearList", "C&lear", QKeySequence(), [this] { Clear(); });

    connect(filterEdit_, &QLineEdit::textChanged, shown_, &MessageFilterModel::SetText);
    connect(severityBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        shown_->SetMinimumSeverity(static_cast<MessageLogModel::Severity>(index));
    });

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(filterEdit_, 1);
    filterRow->addWidget(severityBox_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(filterRow);
    layout->addWidget(view_, 1);
}

MessagePane::~MessagePane() {
    if (sink_) {
        sink_->Detach();
        // Waits for a log line that is being handed to the sink right now.
        LPDSpooler::SetScreenOutput(nullptr);
    }
}

void MessagePane::AttachToSystemLog() {
    sink_ = std::make_shared<MessageWindowSink>(this, "DrainMessages");
    LPDSpooler::SetScreenOutput([sink = sink_](const char* text) { sink->Push(text); });
}

void MessagePane::DrainMessages() {
    const std::vector<std::string> taken = sink_->Take();
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(taken.size()));
    for (const std::string& line : taken) {
        lines << QString::fromStdString(line);
    }
    // A burst is added and scrolled once; a reader who scrolled up is left where he is.
    QScrollBar* bar = view_->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    lines_->Append(lines);
    if (atEnd) {
        view_->scrollToBottom();
    }
}

void MessagePane::AddLine(const QString& line) {
    lines_->Append({line});
    view_->scrollToBottom();
}

void MessagePane::Clear() {
    lines_->Clear();
}

QString MessagePane::SelectedText() const {
    QModelIndexList selected = view_->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList texts;
    for (const QModelIndex& index : selected) {
        texts << index.data().toString();
    }
    return texts.join('\n');
}

void MessagePane::CopySelection() const {
    const QString text = SelectedText();
    if (!text.isEmpty()) {
        QGuiApplication::clipboard()->setText(text);
    }
}

bool MessagePane::SaveShownLines(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        return false;
    }
    for (int row = 0; row < shown_->rowCount(); ++row) {
        file.write(shown_->index(row, 0).data().toString().toUtf8());
        file.write("\n");
    }
    return file.flush();
}

void MessagePane::SaveAs() {
    const QString path = QFileDialog::getSaveFileName(this, "Save Messages", "pressgate.log");
    if (!path.isEmpty() && !SaveShownLines(path)) {
        QMessageBox::warning(this, "Pressgate", QString("Cannot write %1.").arg(path));
    }
}

}  // namespace pg
