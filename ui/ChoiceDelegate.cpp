#include "ui/ChoiceDelegate.h"

#include <QComboBox>

namespace pg {

ChoiceDelegate::ChoiceDelegate(QStringList choices, QObject* parent)
    : QStyledItemDelegate(parent), choices_(std::move(choices)) {}

QWidget* ChoiceDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                      const QModelIndex&) const {
    auto* combo = new QComboBox(parent);
    combo->addItems(choices_);
    return combo;
}

void ChoiceDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* combo = static_cast<QComboBox*>(editor);
    combo->setCurrentIndex(std::max(0, combo->findText(index.data().toString())));
}

void ChoiceDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                  const QModelIndex& index) const {
    model->setData(index, static_cast<QComboBox*>(editor)->currentText());
}

}  // namespace pg
