#include "ui/SplashScreen.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace pg {

SplashScreen::SplashScreen(QWidget* parent)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint), picture_(":/images/splash.png") {
    setObjectName("Splash");
    setFixedSize(537, 299);
}

void SplashScreen::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(rect(), picture_);
    QFont font = painter.font();
    font.setPointSize(8);
    painter.setFont(font);
    painter.setPen(QColor(0xc8, 0xdc, 0xe4));
    painter.drawText(rect().adjusted(0, 0, -12, -8), Qt::AlignRight | Qt::AlignBottom,
                     "Version " PRESSGATE_VERSION);
}

void SplashScreen::showEvent(QShowEvent* event) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

}  // namespace pg
