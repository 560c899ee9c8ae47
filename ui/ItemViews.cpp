#include "ui/ItemViews.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTreeView>
#include <algorithm>

namespace pg {

void FitColumnsToContents(QTreeView& view, bool exact) {
    QHeaderView* header = view.header();
    const int last = header->count() - 1;
    for (int column = 0; column <= last; ++column) {
        if (header->isSectionHidden(column) ||
            header->sectionResizeMode(column) != QHeaderView::Interactive ||
            (column == last && header->stretchLastSection())) {
            continue;
        }
        const int wanted =
            std::max(static_cast<const QAbstractItemView&>(view).sizeHintForColumn(column),
                     header->sectionSizeHint(column));
        if (wanted > view.columnWidth(column) || (exact && wanted != view.columnWidth(column))) {
            view.setColumnWidth(column, wanted);
        }
    }
}

void DropSelectionWithLeavingRows(QAbstractItemModel& model, QAbstractItemView& view) {
    QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, &view,
                     [&view](const QModelIndex& parent, int first, int last) {
                         QItemSelectionModel* selection = view.selectionModel();
                         const QModelIndex current = selection->currentIndex();
                         if (current.isValid() && current.parent() == parent &&
                             current.row() >= first && current.row() <= last) {
                             selection->clear();
                         }
                     });
}

}  // namespace pg
