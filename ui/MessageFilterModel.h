#pragma once

#include <QSortFilterProxyModel>
#include <QString>

#include "ui/MessageLogModel.h"

namespace pg {

// The message window's filter: the lines that hold the filter text (ignoring letter case) and
// are at least as severe as the chosen minimum.
class MessageFilterModel : public QSortFilterProxyModel {
    Q_OBJECT

  public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void SetText(const QString& text);
    void SetMinimumSeverity(MessageLogModel::Severity severity);

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

  private:
    QString text_;
    MessageLogModel::Severity minimum_ = MessageLogModel::Severity::Info;
};

}  // namespace pg
