#pragma once

#include <QWidget>
#include <optional>

#include "config/AccessRules.h"

class QCheckBox;
class QTableWidget;

namespace pg {

// The "Access" tab of General Settings: the [Access] rules as a table in the order they are
// tried (allow/deny, operation, source, queue), with Add, Remove, Move Up and Move Down, and
// the option that removal needs a privileged source port.
class AccessRulesPage : public QWidget {
    Q_OBJECT

  public:
    explicit AccessRulesPage(QWidget* parent = nullptr);

    void Load(const AccessRules& rules);
    // The rules as the table holds them, read by the daemon's own parser; std::nullopt, with
    // the first row that does not read and why in problem (and that row selected), otherwise.
    std::optional<AccessRules> Rules(QString* problem);
    // Whether the table or the option differs from what Load() showed.
    bool Changed(const AccessRules& rules) const;

  private:
    void AddRow(const AccessRule& rule);
    void MoveRow(int by);
    QString RowText(int row) const;

    QTableWidget* table_;
    QCheckBox* privilegedPortCheck_;
};

}  // namespace pg
