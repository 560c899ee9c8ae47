#pragma once

class QAbstractItemModel;
class QAbstractItemView;
class QTreeView;

namespace pg {

// What the lists of the window share.

// Widens each column of view that its header or its shown cells do not fit in, or with exact
// sets each to that width; a stretching column is left to the header.
void FitColumnsToContents(QTreeView& view, bool exact = false);

// A row that leaves the model takes its selection with it: the view's own habit is to select
// the next row instead, so that a second Delete would act on a job or queue the operator never
// chose. Call before the view gets model: the first handler of a removal runs first.
void DropSelectionWithLeavingRows(QAbstractItemModel& model, QAbstractItemView& view);

}  // namespace pg
