#include "ui/MessageFilterModel.h"

namespace pg {

void MessageFilterModel::SetText(const QString& text) {
    text_ = text;
    invalidateFilter();
}

void MessageFilterModel::SetMinimumSeverity(MessageLogModel::Severity severity) {
    minimum_ = severity;
    invalidateFilter();
}

bool MessageFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    if (index.data(MessageLogModel::kSeverityRole).toInt() < static_cast<int>(minimum_)) {
        return false;
    }
    return text_.isEmpty() || index.data().toString().contains(text_, Qt::CaseInsensitive);
}

}  // namespace pg
