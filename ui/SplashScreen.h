#pragma once

#include <QDialog>
#include <QPixmap>

class QPaintEvent;
class QShowEvent;

namespace pg {

// The start-up picture: borderless, 537 x 299, centred on the screen, with the version written
// on it. The program shows it modally for kShownMs.
class SplashScreen : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kShownMs = 2000;

    explicit SplashScreen(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QPixmap picture_;
};

}  // namespace pg
