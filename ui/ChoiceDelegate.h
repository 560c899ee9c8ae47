#pragma once

#include <QStringList>
#include <QStyledItemDelegate>

namespace pg {

// Edits a table cell with a drop-down list of fixed words instead of free text.
class ChoiceDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    ChoiceDelegate(QStringList choices, QObject* parent);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

  private:
    const QStringList choices_;
};

}  // namespace pg
