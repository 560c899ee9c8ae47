#pragma once

#include <QStyledItemDelegate>

namespace pg {

// Draws a progress cell as a progress bar with its text on it. A cell is a progress cell while
// its model gives a percentage (0..100) for kPercentRole; other cells are drawn as usual.
class ProgressDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    static constexpr int kPercentRole = Qt::UserRole + 100;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // Room for the bar's frame around the text, so a column fitted to it shows it whole.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace pg
