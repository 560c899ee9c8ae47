#include "ui/WizardPicture.h"

#include <QLabel>
#include <QPixmap>

namespace pg {

QLabel* MakeWizardPicture(QWidget* parent) {
    auto* picture = new QLabel(parent);
    picture->setObjectName("wizardPicture");
    picture->setFixedSize(124, 232);
    picture->setAlignment(Qt::AlignCenter);
    const QPixmap pixmap(":/images/wizard.png");
    if (!pixmap.isNull()) {
        picture->setPixmap(
            pixmap.scaled(picture->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    } else {
        picture->setFrameShape(QFrame::StyledPanel);
    }
    return picture;
}

}  // namespace pg
