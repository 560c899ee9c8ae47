#include "ui/AccessRulesPage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/ChoiceDelegate.h"
#include "ui/DialogButtons.h"

namespace pg {

namespace {

enum Column { kAllow, kOperation, kSource, kQueue, kColumns };

// A rule's words as its Text() spells them: allow|deny, operation, source, [queue].
QStringList Words(const AccessRule& rule) {
    QStringList words = QString::fromStdString(rule.Text()).split(' ');
    while (words.size() < kColumns) {
        words.append(QString());
    }
    return words;
}

}  // namespace

AccessRulesPage::AccessRulesPage(QWidget* parent)
    : QWidget(parent), table_(new QTableWidget(0, kColumns, this)) {
    table_->setObjectName("accessTable");
    table_->setHorizontalHeaderLabels({"Allow/Deny", "Operation", "Source", "Queue"});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setItemDelegateForColumn(kAllow, new ChoiceDelegate({"allow", "deny"}, table_));
    table_->setItemDelegateForColumn(
        kOperation,
        new ChoiceDelegate({"submit", "status", "remove", "print-waiting", "all", "operator"},
                           table_));

    auto* addButton = MakeButton("&Add", "addRuleButton", this);
    auto* removeButton = MakeButton("&Remove", "removeRuleButton", this);
    auto* upButton = MakeButton("Move &Up", "upRuleButton", this);
    auto* downButton = MakeButton("Move &Down", "downRuleButton", this);
    privilegedPortCheck_ =
        new QCheckBox("Removal needs a &privileged source port (below 1024)", this);
    privilegedPortCheck_->setObjectName("privilegedPortCheck");

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {addButton, removeButton, upButton, downButton}) {
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    auto* rows = new QHBoxLayout;
    rows->addWidget(table_, 1);
    rows->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rows, 1);
    layout->addWidget(privilegedPortCheck_);

    connect(addButton, &QPushButton::clicked, this, [this] {
        std::string unused;
        AddRow(*AccessRule::Parse("allow all any", &unused));
        table_->selectRow(table_->rowCount() - 1);
    });
    connect(removeButton, &QPushButton::clicked, this, [this] {
        if (table_->currentRow() >= 0) {
            table_->removeRow(table_->currentRow());
        }
    });
    connect(upButton, &QPushButton::clicked, this, [this] { MoveRow(-1); });
    connect(downButton, &QPushButton::clicked, this, [this] { MoveRow(1); });
}

void AccessRulesPage::Load(const AccessRules& rules) {
    table_->setRowCount(0);
    for (const AccessRule& rule : rules.Rules()) {
        AddRow(rule);
    }
    privilegedPortCheck_->setChecked(rules.RemoveNeedsPrivilegedPort());
}

void AccessRulesPage::AddRow(const AccessRule& rule) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    const QStringList words = Words(rule);
    for (int column = 0; column < kColumns; ++column) {
        table_->setItem(row, column, new QTableWidgetItem(words[column]));
    }
}

void AccessRulesPage::MoveRow(int by) {
    const int row = table_->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= table_->rowCount()) {
        return;
    }
    for (int column = 0; column < kColumns; ++column) {
        QTableWidgetItem* moving = table_->takeItem(row, column);
        table_->setItem(row, column, table_->takeItem(to, column));
        table_->setItem(to, column, moving);
    }
    table_->selectRow(to);
}

QString AccessRulesPage::RowText(int row) const {
    QStringList words;
    for (int column = 0; column < kColumns; ++column) {
        const QTableWidgetItem* item = table_->item(row, column);
        const QString word = item != nullptr ? item->text().trimmed() : QString();
        if (!word.isEmpty()) {
            words.append(word);
        }
    }
    return words.join(' ');
}

std::optional<AccessRules> AccessRulesPage::Rules(QString* problem) {
    std::vector<AccessRule> rules;
    for (int row = 0; row < table_->rowCount(); ++row) {
        std::string reason;
        auto rule = AccessRule::Parse(RowText(row).toStdString(), &reason);
        if (!rule) {
            table_->selectRow(row);
            *problem = QString("Access rule %1 cannot be used: %2")
                           .arg(row + 1)
                           .arg(QString::fromStdString(reason));
            return std::nullopt;
        }
        rules.push_back(std::move(*rule));
    }
    AccessRules access;
    access.SetRules(std::move(rules));
    access.SetRemoveNeedsPrivilegedPort(privilegedPortCheck_->isChecked());
    return access;
}

bool AccessRulesPage::Changed(const AccessRules& rules) const {
    if (privilegedPortCheck_->isChecked() != rules.RemoveNeedsPrivilegedPort() ||
        static_cast<size_t>(table_->rowCount()) != rules.Rules().size()) {
        return true;
    }
    for (int row = 0; row < table_->rowCount(); ++row) {
        if (RowText(row) != Words(rules.Rules()[static_cast<size_t>(row)]).join(' ').trimmed()) {
            return true;
        }
    }
    return false;
}

}  // namespace pg
