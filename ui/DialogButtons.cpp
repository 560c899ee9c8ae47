#include "ui/DialogButtons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

#include "ui/HelpViewer.h"

namespace pg {

QPushButton* MakeButton(const QString& caption, const char* objectName, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(objectName);
    return button;
}

QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QPushButton* button : buttons) {
        row->addWidget(button);
    }
    return row;
}

QHBoxLayout* ApplyButtonRow(QDialog* dialog, const std::function<bool()>& apply, int helpContext) {
    auto* okButton = MakeButton("OK", "okButton", dialog);
    okButton->setDefault(true);
    auto* cancelButton = MakeButton("Cancel", "cancelButton", dialog);
    auto* applyButton = MakeButton("&Apply", "applyButton", dialog);
    auto* helpButton = MakeButton("Help", "helpButton", dialog);
    QObject::connect(okButton, &QPushButton::clicked, dialog, [dialog, apply] {
        if (apply()) {
            dialog->accept();
        }
    });
    QObject::connect(cancelButton, &QPushButton::clicked, dialog, &QDialog::reject);
    QObject::connect(applyButton, &QPushButton::clicked, dialog, apply);
    QObject::connect(helpButton, &QPushButton::clicked, dialog,
                     [dialog, helpContext] { ShowHelp(dialog, helpContext); });
    return ButtonRow({okButton, cancelButton, applyButton, helpButton});
}

}  // namespace pg
