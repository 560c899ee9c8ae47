#include "ui/MessageLogModel.h"

#include <QColor>
#include <QRegularExpression>
#include <algorithm>

namespace pg {

MessageLogModel::Severity MessageLogModel::SeverityOf(const QString& line) {
    static const QRegularExpression error(
        R"(\berror\b|\bfail|cannot|can't|unable|refus|reject|not exist|\bnack\b|no free space)",
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression warning(
        R"(\bwarning|retry|tried again|time(d)? ?out|discard|abort|\bpause|given up|gave up)",
        QRegularExpression::CaseInsensitiveOption);
    if (error.match(line).hasMatch()) {
        return Severity::Error;
    }
    return warning.match(line).hasMatch() ? Severity::Warning : Severity::Info;
}

void MessageLogModel::Append(const QStringList& lines) {
    if (lines.isEmpty()) {
        return;
    }
    // Of a burst longer than the cap only its newest lines are kept.
    const qsizetype take = std::min<qsizetype>(lines.size(), kMaxLines);
    const qsizetype overflow = static_cast<qsizetype>(lines_.size()) + take - kMaxLines;
    if (overflow > 0) {
        beginRemoveRows({}, 0, static_cast<int>(overflow) - 1);
        lines_.erase(lines_.begin(), lines_.begin() + overflow);
        endRemoveRows();
    }
    const int first = static_cast<int>(lines_.size());
    beginInsertRows({}, first, first + static_cast<int>(take) - 1);
    for (qsizetype i = lines.size() - take; i < lines.size(); ++i) {
        lines_.push_back(Line{lines[i], SeverityOf(lines[i])});
    }
    endInsertRows();
}

void MessageLogModel::Clear() {
    beginResetModel();
    lines_.clear();
    endResetModel();
}

int MessageLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant MessageLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Line& line = lines_[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return line.text;
        case kSeverityRole:
            return static_cast<int>(line.severity);
        case Qt::ForegroundRole:
            if (line.severity == Severity::Error) {
                return QColor(0xc6, 0x28, 0x28);
            }
            if (line.severity == Severity::Warning) {
                return QColor(0xb2, 0x6a, 0x00);
            }
            return {};
        default:
            return {};
    }
}

}  // namespace pg
